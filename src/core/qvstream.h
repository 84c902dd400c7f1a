#pragma once
// The record stream through which every data file except the definition file
// is read and written.
//
// Reading loads the whole file into memory; position, size and seeking work
// on that buffer. Writing goes to a temporary file beside the target that is
// renamed over the target by Close() once the whole file was written; a
// stream destroyed without Close(), or one whose write was refused, removes
// its temporary file so the old file survives untouched.

#include <cstdint>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <vector>
#include <string>
#include <string_view>

namespace kestrune {

// A plain file stream: bytes, position, size, seeking.
// Makes the files written while it is open one save, all or nothing: each
// file goes to a temporary file beside its target, and Commit puts every
// one in place; when one cannot be, those already replaced are put back.
// Without a commit every temporary file is removed and the targets keep
// what they held. One is current per thread while it lives.
class TSaveTransaction {
public:
    TSaveTransaction();
    ~TSaveTransaction();
    TSaveTransaction(const TSaveTransaction&) = delete;
    TSaveTransaction& operator=(const TSaveTransaction&) = delete;

    static TSaveTransaction* Current();

    // A written temporary file, to be put in place of its target and then
    // to have the permission bits mode (-1: as made).
    void Add(const std::filesystem::path& temp, const std::filesystem::path& target, int mode = -1);
    // A folder made for the save, removed again when the save fails.
    void FolderMade(const std::filesystem::path& folder);
    // Throws KestruneError ("Cannot create file %s" and the reason on a
    // second line); the targets then hold what they held before.
    void Commit();

private:
    struct Entry {
        std::filesystem::path temp, target, backup;
        int mode = -1;
        bool replaced = false;
    };
    void Discard();

    std::vector<Entry> entries_;
    std::vector<std::filesystem::path> folders_;
    TSaveTransaction* outer_;
    bool done_ = false;
};

class TFileStream {
public:
    // Whether written files are flushed to the disk before they are put in
    // place (and their folders after). Off only to measure what it costs.
    static bool Durable;

    enum class Mode { Read, Write };

    // Opens a file. Read: the file must exist ("Cannot open file %s" otherwise).
    // Write: creates the temporary file ("Cannot create file %s" on failure).
    TFileStream(const std::filesystem::path& path, Mode mode);
    virtual ~TFileStream();

    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    // In-memory streams, for tests, fuzzing and the command-line tool.
    struct MemoryTag {};
    TFileStream(MemoryTag, std::string bytes); // read from bytes
    explicit TFileStream(MemoryTag);           // write into Bytes()

    Mode GetMode() const { return mode_; }
    const std::filesystem::path& Path() const { return path_; }

    uint64_t Position() const { return pos_; }
    uint64_t Size() const;
    // Reading only: moves to an absolute position (clamped to the size).
    void Seek(uint64_t position);
    bool AtEnd() const { return Position() == Size(); }

    // Reads up to count bytes; returns how many were read.
    size_t Read(void* dest, size_t count);
    void Write(const void* src, size_t count)
    {
        // Into the buffer of a file being written while it has room.
        if (put_ && count <= static_cast<size_t>(putEnd_ - put_)) {
            if (count != 0) // an empty text may come without data
                std::memcpy(put_, src, count);
            put_ += count;
            pos_ += count;
            return;
        }
        WriteMore(src, count);
    }
    void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }

    // Writing: flushes, closes and renames the temporary file over the target.
    // Reading: releases the buffer. Safe to call twice.
    void Close();
    // Writing: gives up the file; the target stays as it was.
    void Abandon();

    // The bytes of a memory stream (written or to be read).
    const std::string& Bytes() const { return data_; }

protected:
    // Reading buffer access for the record readers.
    const std::string& Buffer() const { return data_; }
    uint64_t& Pos() { return pos_; }
    // A byte and then bytes into the buffer of a file being written, when it
    // has room for both; false (nothing written) otherwise.
    bool WriteAfter(unsigned char head, std::string_view bytes)
    {
        if (!put_ || bytes.size() >= static_cast<size_t>(putEnd_ - put_))
            return false;
        *put_++ = static_cast<char>(head);
        if (!bytes.empty())
            std::memcpy(put_, bytes.data(), bytes.size());
        put_ += bytes.size();
        pos_ += 1 + bytes.size();
        return true;
    }
    // Called when a write was refused: the file is abandoned and the error thrown.
    [[noreturn]] void Refuse(const std::string& message);

private:
    void WriteMore(const void* src, size_t count);
    void FlushBuffer();
    void DropBuffer();

    Mode mode_;
    bool memory_ = false;
    bool open_ = false;
    std::filesystem::path path_;
    std::filesystem::path tempPath_;
    std::FILE* file_ = nullptr;
    std::string data_;       // read: whole file; write: the buffer (or all bytes in memory)
    uint64_t pos_ = 0;       // read: position in data_; write: bytes written in all
    // Writing a file: the buffer's free room, from put_ to putEnd_ (both
    // null for other streams, and once the file is closed or given up).
    char* put_ = nullptr;
    char* putEnd_ = nullptr;
};

// Text form: strings closed by the terminator byte 0xAB.
class TQVFileStream : public TFileStream {
public:
    static constexpr unsigned char Terminator = 0xAB;

    using TFileStream::TFileStream;

    unsigned char ReadByte();
    int ReadWord();
    std::string ReadCounted();
    // ReadCounted without the copy: a view of the stream's bytes, valid
    // while the stream is.
    std::string_view ReadCountedView();
    std::string ReadTerminated(unsigned char terminator, bool dropComments);
    // ReadTerminated without the copy, valid while the stream is.
    std::string_view ReadTerminatedView(unsigned char terminator, bool dropComments);
    virtual std::string ReadToken();
    // ReadToken without the copy, valid while the stream is.
    std::string_view ReadTokenView() { return Counted() ? ReadCountedView() : ReadTerminatedView(Terminator, false); }
    std::string ReadHeadToken();
    // Whether strings are written with a length prefix (the counted form).
    virtual bool Counted() const { return false; }

    void WriteByte(unsigned char b);
    void WriteWord(int value);
    void WriteCounted(std::string_view s)
    {
        if (s.size() < 255 && WriteAfter(static_cast<unsigned char>(s.size()), s))
            return;
        WriteLongCounted(s);
    }
    void WriteTerminated(unsigned char terminator, std::string_view s);
    virtual void WriteToken(std::string_view s);

private:
    // WriteCounted of a long text, or past the room in the buffer.
    void WriteLongCounted(std::string_view s);
};

// Counted form: length-prefixed strings.
class TQVFileStreamBinary : public TQVFileStream {
public:
    using TQVFileStream::TQVFileStream;

    std::string ReadToken() override;
    void WriteToken(std::string_view s) override;
    bool Counted() const override { return true; }
};

// Whether a stream uses the counted form.
bool IsCounted(const TQVFileStream& stream);

// Asks the system to start reading a file into memory in the background, so
// that a read of it a little later finds it there. Nothing happens for a
// file that cannot be opened; the file is not changed. Gives the file's
// size in bytes (0 for one that cannot be opened).
uint64_t PrefetchFile(const std::filesystem::path& path);

} // namespace kestrune
