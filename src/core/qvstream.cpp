#include "qvstream.h"

#include "errors.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

constexpr size_t WriteBlock = 1 << 16;

// The buffer of the last file read, kept for the next one: files read one
// after the other (the maps of a project) then reuse memory that is already
// there instead of each taking fresh memory, which the system must clear
// and the heap cannot give back while later objects sit around it.
thread_local std::string spareReadBuffer;
constexpr size_t SpareReadMost = 16u << 20;

void KeepReadBuffer(std::string& data)
{
    if (data.capacity() > spareReadBuffer.capacity() && data.capacity() <= SpareReadMost) {
        data.clear();
        spareReadBuffer.swap(data);
    }
    std::string().swap(data);
}

std::string FullPath(const fs::path& p)
{
    std::error_code ec;
    const fs::path abs = fs::absolute(p, ec);
    return (ec ? p : abs).lexically_normal().string();
}

// A name beside the target that no other save uses at the same moment.
fs::path TempPathFor(const fs::path& target, const char* what = "saving")
{
    static std::atomic<unsigned> counter{0};
    const std::string name = "." + target.filename().string() + "." + what + "-" +
                             std::to_string(static_cast<long>(::getpid())) + "-" +
                             std::to_string(counter.fetch_add(1));
    return target.parent_path() / name;
}

// "Cannot create file %s" with the system's reason on a second line.
std::string CannotCreate(const fs::path& path, int error)
{
    std::string message = FormatMessage("Cannot create file %s", FullPath(path));
    if (error != 0)
        message += "\n" + std::string(std::strerror(error));
    return message;
}

// Flushes a folder's entries (a rename in it) to the disk.
void SyncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Finishes a written file of a save before it takes its target's place:
// flushed to the disk (when flush) through a descriptor of its own, and given
// its permission bits (when mode is not -1) only then, so that bits which
// would shut its owner out cannot stop the flush. 0 or the error.
int FinishFile(const fs::path& file, int mode, bool flush)
{
    if (!flush) {
        if (mode >= 0)
            ::chmod(file.c_str(), static_cast<mode_t>(mode));
        return 0;
    }
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) // made under a mask that leaves its owner no reading
        fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    if (mode >= 0)
        ::fchmod(fd, static_cast<mode_t>(mode));
    ::close(fd);
    return error;
}

// A data file that is a symbolic link is written through: its target.
fs::path WrittenPath(const fs::path& path)
{
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec)))
        return path;
    fs::path target = fs::read_symlink(path, ec);
    if (ec)
        return path;
    if (target.is_relative())
        target = path.parent_path() / target;
    return WrittenPath(target.lexically_normal());
}

thread_local TSaveTransaction* currentSave = nullptr;

} // namespace

bool TFileStream::Durable = true;

// ----------------------------------------------------------- TSaveTransaction

TSaveTransaction::TSaveTransaction() : outer_(currentSave) { currentSave = this; }

TSaveTransaction::~TSaveTransaction()
{
    currentSave = outer_;
    if (!done_)
        Discard();
}

TSaveTransaction* TSaveTransaction::Current() { return currentSave; }

void TSaveTransaction::Add(const fs::path& temp, const fs::path& target, int mode)
{
    entries_.push_back({temp, target, {}, mode});
}

void TSaveTransaction::FolderMade(const fs::path& folder) { folders_.push_back(folder); }

void TSaveTransaction::Discard()
{
    std::error_code ec;
    for (const Entry& e : entries_) {
        fs::remove(e.temp, ec);
        if (!e.backup.empty())
            fs::remove(e.backup, ec);
    }
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it)
        fs::remove(*it, ec); // only when empty
    entries_.clear();
    folders_.clear();
    done_ = true;
}

void TSaveTransaction::Commit()
{
    if (currentSave == this)
        currentSave = outer_;
    // The files were handed to the disk as they were closed; each is now
    // known to be there before any takes the place of its target.
    for (const Entry& e : entries_)
        if (const int error = FinishFile(e.temp, e.mode, TFileStream::Durable)) {
            const fs::path target = e.target;
            Discard();
            throw KestruneError(CannotCreate(target, error));
        }
    // Each old file is kept under a second name until every new one is in
    // place: a failure puts the old ones back, the very same files.
    for (size_t i = 0; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        std::error_code ec;
        const bool existed = fs::exists(fs::symlink_status(e.target, ec));
        int error = 0;
        if (existed) {
            e.backup = TempPathFor(e.target, "old");
            if (::link(e.target.c_str(), e.backup.c_str()) != 0) {
                error = errno;
                e.backup.clear();
            }
        }
        if (error == 0 && ::rename(e.temp.c_str(), e.target.c_str()) != 0)
            error = errno;
        if (error != 0) {
            for (size_t j = i; j-- > 0;) {
                Entry& back = entries_[j];
                if (!back.backup.empty()) {
                    ::rename(back.backup.c_str(), back.target.c_str());
                    back.backup.clear();
                } else {
                    fs::remove(back.target, ec);
                }
            }
            const fs::path target = e.target;
            Discard();
            throw KestruneError(CannotCreate(target, error));
        }
        e.replaced = true;
    }
    if (TFileStream::Durable) {
        std::vector<fs::path> folders;
        for (const Entry& e : entries_)
            if (std::find(folders.begin(), folders.end(), e.target.parent_path()) == folders.end())
                folders.push_back(e.target.parent_path());
        for (const fs::path& folder : folders)
            SyncFolder(folder);
    }
    std::error_code ec;
    for (const Entry& e : entries_)
        if (!e.backup.empty())
            fs::remove(e.backup, ec);
    entries_.clear();
    folders_.clear();
    done_ = true;
}

// ---------------------------------------------------------------- TFileStream

TFileStream::TFileStream(const fs::path& path, Mode mode) : mode_(mode), path_(path)
{
    if (mode == Mode::Read) {
        // The whole file in one read where it can (a file that changes
        // size while it is read is read as far as it goes).
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
            if (fd >= 0)
                ::close(fd);
            throw KestruneError(FormatMessage("Cannot open file %s", FullPath(path)));
        }
        data_.swap(spareReadBuffer);
        data_.resize(info.st_size > 0 ? static_cast<size_t>(info.st_size) : 0);
        size_t got = 0;
        while (got < data_.size()) {
            const ssize_t n = ::read(fd, data_.data() + got, data_.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                ::close(fd);
                throw KestruneError(FormatMessage("Cannot open file %s", FullPath(path)));
            }
            if (n == 0)
                break;
            got += static_cast<size_t>(n);
        }
        ::close(fd);
        data_.resize(got);
        open_ = true;
        return;
    }
    std::error_code ec;
    path_ = WrittenPath(path);
    if (fs::is_directory(path_, ec))
        throw KestruneError(CannotCreate(path, EISDIR));
    // A missing folder is made (and removed again when the save fails).
    const fs::path folder = path_.parent_path();
    if (!folder.empty() && !fs::exists(folder, ec)) {
        if (!fs::create_directories(folder, ec) || ec)
            throw KestruneError(CannotCreate(path, ec.value()));
        if (TSaveTransaction* save = TSaveTransaction::Current())
            save->FolderMade(folder);
    }
    tempPath_ = TempPathFor(path_);
    file_ = std::fopen(tempPath_.c_str(), "wb");
    if (!file_)
        throw KestruneError(CannotCreate(path, errno));
    data_.resize(WriteBlock);
    put_ = data_.data();
    putEnd_ = put_ + data_.size();
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
    else if (mode_ == Mode::Read && !memory_)
        KeepReadBuffer(data_);
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

void TFileStream::WriteMore(const void* src, size_t count)
{
    if (mode_ != Mode::Write || !open_)
        throw KestruneError(FormatMessage("Cannot create file %s", FullPath(path_)));
    if (memory_) {
        data_.append(static_cast<const char*>(src), count);
        pos_ += count;
        return;
    }
    FlushBuffer();
    if (count >= data_.size()) {
        if (std::fwrite(src, 1, count, file_) != count) {
            const int error = errno;
            const fs::path target = path_;
            Abandon();
            throw KestruneError(CannotCreate(target, error));
        }
    } else if (count != 0) {
        std::memcpy(put_, src, count);
        put_ += count;
    }
    pos_ += count;
}

void TFileStream::FlushBuffer()
{
    if (!put_)
        return;
    const size_t pending = static_cast<size_t>(put_ - data_.data());
    if (pending == 0)
        return;
    if (std::fwrite(data_.data(), 1, pending, file_) != pending) {
        const int error = errno;
        const fs::path target = path_;
        Abandon();
        throw KestruneError(CannotCreate(target, error));
    }
    put_ = data_.data();
}

void TFileStream::DropBuffer()
{
    put_ = putEnd_ = nullptr;
    std::string().swap(data_);
}

void TFileStream::Close()
{
    if (!open_)
        return;
    if (mode_ == Mode::Read || memory_) {
        if (mode_ == Mode::Read && !memory_)
            KeepReadBuffer(data_);
        else if (mode_ == Mode::Read)
            std::string().swap(data_);
        open_ = false;
        return;
    }
    FlushBuffer();
    DropBuffer();
    int error = 0;
    if (std::fflush(file_) != 0)
        error = errno;
    // The file keeps its permission bits; in a save of several files they
    // are given when the save commits.
    TSaveTransaction* const save = TSaveTransaction::Current();
    struct stat old {};
    int mode = -1;
    if (error == 0 && ::stat(path_.c_str(), &old) == 0)
        mode = static_cast<int>(old.st_mode & 07777);
    if (mode >= 0 && !save)
        ::fchmod(::fileno(file_), static_cast<mode_t>(mode));
    if (error == 0 && Durable) {
        // In a save of several files, this one is only started on its way
        // to the disk here, and flushed when the save commits: the disk
        // writes it while the next files are made.
#if defined(__linux__)
        if (save)
            ::sync_file_range(::fileno(file_), 0, 0, SYNC_FILE_RANGE_WRITE);
        else
#endif
        if (::fsync(::fileno(file_)) != 0)
            error = errno;
    }
    if (std::fclose(file_) != 0 && error == 0)
        error = errno;
    file_ = nullptr;
    open_ = false;
    std::error_code ec;
    if (error == 0) {
        if (save) {
            save->Add(tempPath_, path_, mode);
            return;
        }
        if (::rename(tempPath_.c_str(), path_.c_str()) != 0)
            error = errno;
        else if (Durable)
            SyncFolder(path_.parent_path());
    }
    if (error != 0) {
        fs::remove(tempPath_, ec);
        throw KestruneError(CannotCreate(path_, error));
    }
}

void TFileStream::Abandon()
{
    if (mode_ != Mode::Write)
        return;
    open_ = false;
    if (memory_)
        data_.clear();
    else
        DropBuffer();
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

std::string TQVFileStream::ReadCounted() { return std::string(ReadCountedView()); }

std::string_view TQVFileStream::ReadCountedView()
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
    return std::string_view(buf.data() + p, length);
}

std::string TQVFileStream::ReadTerminated(unsigned char terminator, bool dropComments)
{
    return std::string(ReadTerminatedView(terminator, dropComments));
}

std::string_view TQVFileStream::ReadTerminatedView(unsigned char terminator, bool dropComments)
{
    if (GetMode() != Mode::Read)
        return {};
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
    return std::string_view(buf.data() + first, last - first);
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

void TQVFileStream::WriteLongCounted(std::string_view s)
{
    if (s.size() > 65535)
        Refuse("Cannot write a text of " + std::to_string(s.size()) +
               " bytes: a text in this file holds at most 65535 bytes");
    const unsigned char head[3] = {static_cast<unsigned char>(s.size() < 255 ? s.size() : 255),
                                   static_cast<unsigned char>(s.size() & 0xFF),
                                   static_cast<unsigned char>((s.size() >> 8) & 0xFF)};
    Write(head, s.size() < 255 ? 1 : 3);
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

uint64_t PrefetchFile(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return 0;
    struct stat info {};
    const uint64_t size = ::fstat(fd, &info) == 0 && info.st_size > 0 ? static_cast<uint64_t>(info.st_size) : 0;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
    ::close(fd);
    return size;
}

} // namespace kestrune
