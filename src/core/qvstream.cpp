#include "qvstream.h"

#include "errors.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

constexpr size_t WriteBlock = 1 << 16;

std::string FullPath(const fs::path& p)
{
    std::error_code ec;
    const fs::path abs = fs::absolute(p, ec);
    return (ec ? p : abs).lexically_normal().string();
}

// A name beside the target that no other save uses at the same moment.
fs::path TempPathFor(const fs::path& target)
{
    static std::atomic<unsigned> counter{0};
    const std::string name = "." + target.filename().string() + ".saving-" +
                             std::to_string(static_cast<long>(::getpid())) + "-" +
                             std::to_string(counter.fetch_add(1));
    return target.parent_path() / name;
}

} // namespace

// ---------------------------------------------------------------- TFileStream

TFileStream::TFileStream(const fs::path& path, Mode mode) : mode_(mode), path_(path)
{
    if (mode == Mode::Read) {
        std::error_code ec;
        if (fs::is_directory(path, ec))
            throw KestruneError(FormatMessage("Cannot open file %s", FullPath(path)));
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw KestruneError(FormatMessage("Cannot open file %s", FullPath(path)));
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        if (size < 0)
            throw KestruneError(FormatMessage("Cannot open file %s", FullPath(path)));
        in.seekg(0, std::ios::beg);
        data_.resize(static_cast<size_t>(size));
        if (size > 0 && !in.read(data_.data(), size))
            throw KestruneError(FormatMessage("Cannot open file %s", FullPath(path)));
        open_ = true;
        return;
    }
    std::error_code ec;
    if (fs::is_directory(path, ec))
        throw KestruneError(FormatMessage("Cannot create file %s", FullPath(path)));
    tempPath_ = TempPathFor(path);
    file_ = std::fopen(tempPath_.c_str(), "wb");
    if (!file_)
        throw KestruneError(FormatMessage("Cannot create file %s", FullPath(path)));
    data_.reserve(WriteBlock);
    open_ = true;
}

TFileStream::TFileStream(MemoryTag, std::string bytes)
    : mode_(Mode::Read), memory_(true), open_(true), data_(std::move(bytes))
{
}

TFileStream::TFileStream(MemoryTag) : mode_(Mode::Write), memory_(true), open_(true) {}

TFileStream::~TFileStream()
{
    if (mode_ == Mode::Write && file_)
        Abandon();
}

uint64_t TFileStream::Size() const
{
    return mode_ == Mode::Read ? data_.size() : pos_;
}

void TFileStream::Seek(uint64_t position)
{
    if (mode_ != Mode::Read)
        return; // writers never seek: files are written in one pass
    pos_ = position > data_.size() ? data_.size() : position;
}

size_t TFileStream::Read(void* dest, size_t count)
{
    if (mode_ != Mode::Read)
        return 0;
    const size_t left = data_.size() - static_cast<size_t>(pos_);
    const size_t n = count < left ? count : left;
    if (n > 0)
        std::memcpy(dest, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

void TFileStream::Write(const void* src, size_t count)
{
    if (mode_ != Mode::Write || !open_)
        throw KestruneError(FormatMessage("Cannot create file %s", FullPath(path_)));
    data_.append(static_cast<const char*>(src), count);
    pos_ += count;
    if (!memory_ && data_.size() >= WriteBlock)
        FlushBuffer();
}

void TFileStream::FlushBuffer()
{
    if (data_.empty())
        return;
    if (std::fwrite(data_.data(), 1, data_.size(), file_) != data_.size()) {
        const std::string target = FullPath(path_);
        Abandon();
        throw KestruneError(FormatMessage("Cannot create file %s", target));
    }
    data_.clear();
}

void TFileStream::Close()
{
    if (!open_)
        return;
    if (mode_ == Mode::Read || memory_) {
        if (mode_ == Mode::Read)
            std::string().swap(data_);
        open_ = false;
        return;
    }
    FlushBuffer();
    const bool flushed = std::fflush(file_) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    open_ = false;
    std::error_code ec;
    if (flushed && closed)
        fs::rename(tempPath_, path_, ec);
    if (!flushed || !closed || ec) {
        fs::remove(tempPath_, ec);
        throw KestruneError(FormatMessage("Cannot create file %s", FullPath(path_)));
    }
}

void TFileStream::Abandon()
{
    if (mode_ != Mode::Write)
        return;
    open_ = false;
    data_.clear();
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
        std::error_code ec;
        fs::remove(tempPath_, ec);
    }
}

void TFileStream::Refuse(const std::string& message)
{
    const std::string where = memory_ ? std::string() : " (" + FullPath(path_) + ")";
    Abandon();
    throw KestruneError(message + where);
}

// -------------------------------------------------------------- TQVFileStream

namespace {
bool IsWhite(unsigned char c) { return c == 0x20 || c == 0x0A || c == 0x0D; }
} // namespace

unsigned char TQVFileStream::ReadByte()
{
    if (GetMode() != Mode::Read || AtEnd())
        return 0;
    return static_cast<unsigned char>(Buffer()[Pos()++]);
}

int TQVFileStream::ReadWord()
{
    const int low = ReadByte();
    const int high = ReadByte();
    return low | (high << 8);
}

std::string TQVFileStream::ReadCounted()
{
    if (GetMode() != Mode::Read)
        return {};
    // A length byte, 255 announcing a two-byte length; prefix bytes missing
    // at the end of the file read as zero.
    const std::string& buf = Buffer();
    const size_t size = buf.size();
    size_t p = static_cast<size_t>(Pos());
    auto next = [&buf, size, &p]() -> size_t {
        return p < size ? static_cast<unsigned char>(buf[p++]) : 0;
    };
    size_t length = next();
    if (length == 255) {
        const size_t low = next();
        length = low | (next() << 8);
    }
    if (length > size - p)
        length = size - p; // a prefix that promises more than the file holds
    Pos() = p + length;
    return std::string(buf.data() + p, length);
}

std::string TQVFileStream::ReadTerminated(unsigned char terminator, bool dropComments)
{
    std::string result;
    if (GetMode() != Mode::Read)
        return result;
    const std::string& buf = Buffer();
    const size_t size = buf.size();
    size_t p = static_cast<size_t>(Pos());
    // Leading whitespace is skipped; everything else up to the terminator is taken.
    while (p < size && static_cast<unsigned char>(buf[p]) != terminator && IsWhite(static_cast<unsigned char>(buf[p])))
        ++p;
    const void* hit = p < size ? std::memchr(buf.data() + p, terminator, size - p) : nullptr;
    const size_t end = hit ? static_cast<size_t>(static_cast<const char*>(hit) - buf.data()) : size;
    size_t first = p, last = end;
    Pos() = hit ? end + 1 : size;

    // Comment lines in front, then whitespace at both ends, until nothing changes.
    for (;;) {
        bool changed = false;
        if (dropComments) {
            while (first < last && buf[first] == '#') {
                const void* lf = std::memchr(buf.data() + first, '\n', last - first);
                first = lf ? static_cast<size_t>(static_cast<const char*>(lf) - buf.data()) + 1 : last;
                changed = true;
            }
        }
        while (first < last && IsWhite(static_cast<unsigned char>(buf[first]))) {
            ++first;
            changed = true;
        }
        while (last > first && IsWhite(static_cast<unsigned char>(buf[last - 1]))) {
            --last;
            changed = true;
        }
        if (!changed)
            break;
    }
    result.assign(buf, first, last - first);
    return result;
}

std::string TQVFileStream::ReadToken() { return ReadTerminated(Terminator, false); }

std::string TQVFileStream::ReadHeadToken() { return ReadTerminated(Terminator, true); }

void TQVFileStream::WriteByte(unsigned char b) { Write(&b, 1); }

void TQVFileStream::WriteWord(int value)
{
    if (value < 0 || value > 65535)
        Refuse("Cannot write the number " + std::to_string(value) +
               ": a word holds only 0 to 65535");
    const unsigned char bytes[2] = {static_cast<unsigned char>(value & 0xFF),
                                    static_cast<unsigned char>((value >> 8) & 0xFF)};
    Write(bytes, 2);
}

void TQVFileStream::WriteCounted(std::string_view s)
{
    if (s.size() > 65535)
        Refuse("Cannot write a text of " + std::to_string(s.size()) +
               " bytes: a text in this file holds at most 65535 bytes");
    if (s.size() < 255) {
        WriteByte(static_cast<unsigned char>(s.size()));
    } else {
        WriteByte(255);
        WriteWord(static_cast<int>(s.size()));
    }
    Write(s.data(), s.size());
}

void TQVFileStream::WriteTerminated(unsigned char terminator, std::string_view s)
{
    if (s.find(static_cast<char>(terminator)) != std::string_view::npos)
        Refuse("Cannot write a text that holds the byte " + std::to_string(terminator) +
               " (the separator of this file): \"" + std::string(s.substr(0, 60)) +
               (s.size() > 60 ? "...\"" : "\""));
    Write(s.data(), s.size());
    WriteByte(terminator);
}

void TQVFileStream::WriteToken(std::string_view s) { WriteTerminated(Terminator, s); }

// -------------------------------------------------------- TQVFileStreamBinary

std::string TQVFileStreamBinary::ReadToken() { return ReadCounted(); }

void TQVFileStreamBinary::WriteToken(std::string_view s) { WriteCounted(s); }

bool IsCounted(const TQVFileStream& stream) { return stream.Counted(); }

void PrefetchFile(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
    ::close(fd);
}

} // namespace kestrune
