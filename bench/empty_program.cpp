// The start of a program that does nothing, linked to the C++ standard
// library only: what bench_tool compares the tool's start with.
#include <iostream>

int main() { return std::cout ? 0 : 1; }
