#include "model/projectcheck.h"

namespace kestrune {

std::vector<TProblem> CheckProject(const Project&, const TCheckOptions&) { return {}; }
std::vector<TProblem> WhereUsed(const Project&, int, const TListedItem&) { return {}; }
std::vector<TProblem> FindInScripts(const Project&, const std::string&, bool, bool) { return {}; }
std::string ProblemLine(const TProblem&) { return {}; }
std::string ProblemsJson(const std::vector<TProblem>&) { return "{\"problems\": []}\n"; }

} // namespace kestrune
