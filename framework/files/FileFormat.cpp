#include "files/FileFormat.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>

#include "core/Config.h"
#include "core/Globals.h"
#include "files/FileTypeSettings.h"

namespace kovfiles {

// ---------------------------------------------------------------------------------------------
// Sinks

TDataSink::TDataSink(std::uint32_t fileStart, std::uint32_t fileEnd, std::uint64_t length, bool zeroIsUnbounded)
    : FileStart_(fileStart), FileEnd_(fileEnd),
      Length_(length != 0 || !zeroIsUnbounded ? length : (std::uint64_t{1} << 32) - fileStart) {}

void TDataSink::PutClipped(std::uint64_t address, const std::uint8_t* data, std::size_t count) {
    if (count == 0) return;
    std::uint64_t first = address;
    std::uint64_t last = address + count - 1;   // inclusive
    if (last < FileStart_ || first > FileEnd_) return;
    if (first < FileStart_) {
        data += FileStart_ - first;
        first = FileStart_;
    }
    last = std::min<std::uint64_t>(last, FileEnd_);
    std::uint64_t offset = first - FileStart_;
    if (offset >= Length_) return;
    std::uint64_t n = std::min<std::uint64_t>(last - first + 1, Length_ - offset);
    Store(offset, data, static_cast<std::size_t>(n));
    Loaded_ += n;
}

void TDataSink::PutAt(std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
    if (offset >= Length_ || count == 0) return;
    std::uint64_t n = std::min<std::uint64_t>(count, Length_ - offset);
    Store(offset, data, static_cast<std::size_t>(n));
}

std::uint8_t* TDataSink::Direct(std::uint64_t address, std::size_t count) {
    const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t{FileEnd_} + 1, std::uint64_t{FileStart_} + Length_);
    if (count == 0 || address < FileStart_ || address >= end || count > end - address) return nullptr;
    if (!InDirect(address, count) && (!Extend(address, count) || !InDirect(address, count))) return nullptr;
    return DirectBase_ + (address - DirectFirst_);
}

void TDataSink::Commit(std::uint64_t address, std::size_t count) {
    if (count == 0 || !InDirect(address, count)) return;
    if (address + count > DirectNext_) DirectNext_ = address + count;
    Loaded_ += count;
}

bool TDataSink::Extend(std::uint64_t, std::size_t) { return false; }

void TDataSink::SetDirect(std::uint8_t* base, std::uint64_t first, std::uint64_t next, std::uint64_t end) {
    const std::uint64_t windowEnd = std::min<std::uint64_t>(std::uint64_t{FileEnd_} + 1, std::uint64_t{FileStart_} + Length_);
    end = std::min(end, windowEnd);
    if (!base || first < FileStart_ || first >= end) {
        DirectBase_ = nullptr;
        DirectFirst_ = 1;
        DirectNext_ = DirectEnd_ = 0;
        return;
    }
    DirectBase_ = base;
    DirectFirst_ = first;
    DirectNext_ = std::clamp(next, first, end);
    DirectEnd_ = end;
}

TMemorySink::TMemorySink(std::uint8_t* destination, std::uint64_t length, std::uint32_t fileStart,
                         std::uint32_t fileEnd)
    : TDataSink(fileStart, fileEnd, length, false), Dest_(destination) {
    SetDirect(Dest_, fileStart, ~std::uint64_t{0}, std::uint64_t{fileStart} + length);
}

void TMemorySink::Fill(std::uint8_t value) {
    std::memset(Dest_, value, static_cast<std::size_t>(Length()));
}

void TMemorySink::Store(std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
    std::memcpy(Dest_ + offset, data, count);
}

// ---------------------------------------------------------------------------------------------
// Sources

TDataSource TDataSource::Window(const std::uint8_t* source, std::uint64_t length, std::uint32_t fileStart,
                                std::uint32_t fileEnd) {
    TDataSource s;
    s.fileStart = fileStart;
    s.fileEnd = fileEnd;
    if (length > 0 && source) s.segments.push_back({fileStart, source, length});
    return s;
}

std::uint64_t TDataSource::TotalBytes() const {
    std::uint64_t total = 0;
    for (const TSegment& s : segments) total += s.size;
    return total;
}

// ---------------------------------------------------------------------------------------------
// Files

namespace {

// Small enough that what read() copies is still in the processor's cache when it is parsed.
constexpr std::size_t InputChunk = 128 << 10;

// Mapped input files. A page of a mapped file that no longer exists raises a bus error when it is
// touched; for the ranges listed here the handler puts zero pages in place of the rest of the
// mapping and marks the entry, so the reader sees zeros and then a failed read.
struct TGuardEntry {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> damaged{false};
};
constexpr int GuardEntries = 32;
TGuardEntry Guards[GuardEntries];
struct sigaction PreviousBusAction {};
std::uintptr_t PageSize = 4096;

void OnBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (TGuardEntry& g : Guards) {
        const std::uintptr_t begin = g.begin.load(), end = g.end.load();
        if (begin == 0 || address < begin || address >= end) continue;
        const std::uintptr_t page = address & ~(PageSize - 1);
        if (::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1,
                   0) != MAP_FAILED) {
            g.damaged.store(true);
            return;
        }
    }
    // Not ours: as if this handler were not there.
    if ((PreviousBusAction.sa_flags & SA_SIGINFO) && PreviousBusAction.sa_sigaction) {
        PreviousBusAction.sa_sigaction(signal, info, context);
        return;
    }
    if (PreviousBusAction.sa_handler != SIG_DFL && PreviousBusAction.sa_handler != SIG_IGN) {
        PreviousBusAction.sa_handler(signal);
        return;
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

bool InstallBusGuard() {
    static const bool installed = [] {
        PageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        return ::sigaction(SIGBUS, &action, &PreviousBusAction) == 0;
    }();
    return installed;
}

int AddGuard(const void* begin, std::size_t length) {
    if (!InstallBusGuard()) return -1;
    const auto first = reinterpret_cast<std::uintptr_t>(begin);
    for (int i = 0; i < GuardEntries; ++i) {
        // An entry is taken by setting its end; the handler looks at it once its begin is set.
        std::uintptr_t free = 0;
        if (!Guards[i].end.compare_exchange_strong(free, first + length)) continue;
        Guards[i].damaged.store(false);
        Guards[i].begin.store(first);
        return i;
    }
    return -1;
}

void RemoveGuard(int index) {
    Guards[index].begin.store(0);
    Guards[index].end.store(0);
}

}  // namespace

TFileIn::~TFileIn() { Close(); }

bool TFileIn::Open(const std::string& path) {
    Close();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    Attach(fd);
    Owned_ = true;
    if (S_ISREG(st.st_mode) && st.st_size > 0) Map(fd, static_cast<std::uint64_t>(st.st_size));
    return true;
}

bool TFileIn::Map(int fd, std::uint64_t size) {
    if (size > std::numeric_limits<std::size_t>::max() - PageSize) return false;
    const std::size_t length = static_cast<std::size_t>(size);
    void* map = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) return false;
    const std::size_t whole = (length + PageSize - 1) & ~(PageSize - 1);
    Guard_ = AddGuard(map, whole);
    if (Guard_ < 0) {
        ::munmap(map, length);
        return false;
    }
    ::madvise(map, length, MADV_SEQUENTIAL);
    Map_ = static_cast<char*>(map);
    MapLength_ = whole;
    Data_ = Map_;
    Pos_ = 0;
    End_ = length;
    return true;
}

void TFileIn::Attach(int fd) {
    Close();
    Fd_ = fd;
    Owned_ = false;
    Failed_ = false;
    Pos_ = End_ = 0;
    if (Buf_.size() != InputChunk) Buf_.resize(InputChunk);
    Data_ = Buf_.data();
}

void TFileIn::Close() {
    if (Map_) {
        RemoveGuard(Guard_);
        ::munmap(Map_, MapLength_);
        Map_ = nullptr;
        MapLength_ = 0;
        Guard_ = -1;
    }
    if (Fd_ >= 0 && Owned_) ::close(Fd_);
    Fd_ = -1;
    Owned_ = false;
    Pos_ = End_ = 0;
    Data_ = Buf_.data();
}

bool TFileIn::Failed() const { return Failed_ || (Map_ && Guards[Guard_].damaged.load()); }

bool TFileIn::Refill() {
    if (Fd_ < 0 || Failed_ || Map_) return false;
    Pos_ = End_ = 0;
    for (;;) {
        ssize_t n = ::read(Fd_, Buf_.data(), Buf_.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Failed_ = true;
            return false;
        }
        End_ = static_cast<std::size_t>(n);
        return n > 0;
    }
}

std::size_t TFileIn::Read(void* target, std::size_t count) {
    auto* out = static_cast<char*>(target);
    std::size_t done = 0;
    while (done < count) {
        if (Pos_ >= End_) {
            // Large reads bypass the buffer.
            if (count - done >= Buf_.size() && Fd_ >= 0 && !Failed_ && !Map_) {
                ssize_t n = ::read(Fd_, out + done, count - done);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) {
                    Failed_ = true;
                    break;
                }
                if (n == 0) break;
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (!Refill()) break;
        }
        std::size_t n = std::min(count - done, End_ - Pos_);
        std::memcpy(out + done, Data_ + Pos_, n);
        Pos_ += n;
        done += n;
    }
    return done;
}

bool TFileIn::ReadExact(void* target, std::size_t count) { return Read(target, count) == count; }

std::uint64_t TFileIn::Size() const {
    if (Map_) return End_;
    struct stat st {};
    if (Fd_ < 0 || ::fstat(Fd_, &st) != 0) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

bool TFileIn::Seek(std::uint64_t offset) {
    if (Fd_ < 0) return false;
    if (Map_) {
        if (offset > End_) return false;
        Pos_ = static_cast<std::size_t>(offset);
        return true;
    }
    struct stat st {};
    if (::fstat(Fd_, &st) == 0 && S_ISREG(st.st_mode) && offset > static_cast<std::uint64_t>(st.st_size))
        return false;
    if (::lseek(Fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
    Pos_ = End_ = 0;
    return true;
}

bool TFileIn::Skip(std::uint64_t count) {
    while (count > 0) {
        if (Pos_ >= End_ && !Refill()) return false;
        std::uint64_t n = std::min<std::uint64_t>(count, End_ - Pos_);
        Pos_ += static_cast<std::size_t>(n);
        count -= n;
    }
    return true;
}

TFileOut::~TFileOut() { Finish(); }

void TFileOut::Fail() {
    if (!Failed_) ErrorCode_ = errno != 0 ? errno : EIO;
    Failed_ = true;
}

bool TFileOut::Open(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    Attach(fd);
    Owned_ = true;
    return true;
}

void TFileOut::Attach(int fd) {
    Finish();
    Fd_ = fd;
    Owned_ = false;
    Failed_ = false;
    ErrorCode_ = 0;
    Used_ = 0;
    Written_ = Allocated_ = 0;
}

void TFileOut::Expect(std::uint64_t bytes) {
#if defined(__linux__)
    // Only a file of our own that nothing was written to yet: its size is ours to set.
    if (Fd_ < 0 || !Owned_ || Failed_ || Written_ != 0 || Allocated_ != 0 || bytes == 0) return;
    if (::fallocate(Fd_, 0, 0, static_cast<off_t>(bytes)) == 0) Allocated_ = bytes;
#else
    (void)bytes;
#endif
}

bool TFileOut::Flush() {
    std::size_t done = 0;
    while (done < Used_ && Fd_ >= 0 && !Failed_) {
        ssize_t n = ::write(Fd_, Buf_.data() + done, Used_ - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Fail();
            break;
        }
        done += static_cast<std::size_t>(n);
        Written_ += static_cast<std::uint64_t>(n);
    }
    if (Fd_ < 0 && Used_ > 0) Failed_ = true;
    Used_ = 0;
    return !Failed_;
}

void TFileOut::WriteThrough(const char* data, std::size_t count) {
    while (count > 0 && Fd_ >= 0 && !Failed_) {
        ssize_t n = ::write(Fd_, data, std::min<std::size_t>(count, std::size_t{1} << 30));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Fail();
            return;
        }
        data += n;
        count -= static_cast<std::size_t>(n);
        Written_ += static_cast<std::uint64_t>(n);
    }
    if (Fd_ < 0 && count > 0) Failed_ = true;
}

void TFileOut::Write(const void* data, std::size_t count) {
    const char* p = static_cast<const char*>(data);
    if (count >= Buf_.size()) {
        Flush();
        WriteThrough(p, count);
        return;
    }
    while (count > 0) {
        if (Used_ == Buf_.size()) Flush();
        std::size_t n = std::min(count, Buf_.size() - Used_);
        std::memcpy(Buf_.data() + Used_, p, n);
        Used_ += n;
        p += n;
        count -= n;
    }
}

char* TFileOut::ReserveFlushed(std::size_t count) {
    Flush();
    if (Buf_.size() < count) Buf_.resize(count);
    return Buf_.data() + Used_;
}

bool TFileOut::Finish() {
    if (Fd_ < 0) return !Failed_;
    Flush();
    if (Allocated_ > Written_ && ::ftruncate(Fd_, static_cast<off_t>(Written_)) != 0) Fail();
    Allocated_ = 0;
    if (Owned_ && ::close(Fd_) != 0) Fail();
    Fd_ = -1;
    Owned_ = false;
    return !Failed_;
}

// ---------------------------------------------------------------------------------------------
// Text records

std::string ExtractSignificant(const char* text, std::size_t length) {
    std::string line;
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == 0 || c == '\n') break;
        if (!IsSignificant(c)) continue;
        line.push_back(static_cast<char>(c));
        if (line.size() >= MaxSignificantLine) return {};
    }
    return line;
}

bool TLineReader::Next(std::string_view& line) {
    std::string_view buf = In_.Peek();
    if (buf.empty()) return false;

    // Common case: a whole line of significant characters (CR LF or LF) inside the buffer.
    if (!InLongLine_) {
        const void* lf = std::memchr(buf.data(), '\n', buf.size());
        if (lf) {
            std::size_t n = static_cast<std::size_t>(static_cast<const char*>(lf) - buf.data());
            std::size_t m = (n > 0 && buf[n - 1] == '\r') ? n - 1 : n;
            if (m <= MaxReadLine) {
                std::size_t i = 0;
                while (i < m && IsSignificant(static_cast<unsigned char>(buf[i]))) ++i;
                if (i == m) {
                    line = buf.substr(0, m);
                    In_.Consume(n + 1);
                    return true;
                }
            }
        }
    }

    // General case: filter character by character across buffer refills.
    Piece_.clear();
    bool dropping = false;   // after a NUL: the rest of the line is dropped
    for (;;) {
        buf = In_.Peek();
        if (buf.empty()) break;
        std::size_t i = 0;
        for (; i < buf.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(buf[i]);
            if (c == '\n') {
                In_.Consume(i + 1);
                InLongLine_ = false;
                line = Piece_;
                return true;
            }
            if (dropping) continue;
            if (c == 0) {
                dropping = true;
                continue;
            }
            if (!IsSignificant(c)) continue;
            Piece_.push_back(static_cast<char>(c));
            if (Piece_.size() == MaxReadLine) {
                In_.Consume(i + 1);
                InLongLine_ = true;
                line = Piece_;
                return true;
            }
        }
        In_.Consume(i);
    }
    InLongLine_ = false;
    line = Piece_;
    return true;
}

// clang-format off
const signed char HexValue[256] = {
    -1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1, -1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,
    -1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,  0, 1, 2, 3, 4, 5, 6, 7, 8, 9,-1,-1,-1,-1,-1,-1,
    -1,10,11,12,13,14,15,-1,-1,-1,-1,-1,-1,-1,-1,-1, -1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,
    -1,10,11,12,13,14,15,-1,-1,-1,-1,-1,-1,-1,-1,-1, -1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,
    -1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1, -1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,
    -1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1, -1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,
    -1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1, -1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,
    -1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1, -1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,
};
// clang-format on

std::int64_t HexNumber(const char* p, std::size_t digits) {
    std::int64_t v = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        int d = HexDigit(p[i]);
        if (d < 0) return -1;
        v = (v << 4) | d;
    }
    return v;
}

std::string Hex(std::uint32_t value, int digits) {
    std::string s(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) s[static_cast<std::size_t>(i)] = "0123456789ABCDEF"[value & 15];
    return s;
}

std::string_view LineEnd() {
    bool unix = GlobalConfig ? GlobalConfig->GetBool("File", "UnixEOL") : false;
    return unix ? std::string_view("\n") : std::string_view("\r\n");
}

std::string FormatSetting(const char* format, const char* key) {
    if (GlobalConfig && GlobalConfig->HasValue("FileType", format, key))
        return GlobalConfig->GetString("FileType", format, key);
    return FileTypeSettingDefault(format, key);
}

bool FormatBool(const char* format, const char* key) {
    if (GlobalConfig && GlobalConfig->HasValue("FileType", format, key))
        return GlobalConfig->GetBool("FileType", format, key);
    return FileTypeSettingDefault(format, key) == "TRUE";
}

std::int32_t FormatInt(const char* format, const char* key) {
    if (GlobalConfig && GlobalConfig->HasValue("FileType", format, key))
        return GlobalConfig->GetInt("FileType", format, key);
    std::string d = FileTypeSettingDefault(format, key);
    return d.empty() ? 0 : static_cast<std::int32_t>(std::strtol(d.c_str(), nullptr, 10));
}

void CheckRecordText(TLineChecker check, const char* text, std::size_t length, TRecordState& state,
                     TRecord& record) {
    std::string line = ExtractSignificant(text, length);
    check(line, state, record);
}

TRecordPlan PlanRecords(const TDataSource& source, std::size_t maxBytes, std::uint64_t block) {
    TRecordPlan plan;
    if (maxBytes == 0) return plan;
    for (const TSegment& s : source.segments) {
        std::uint64_t address = s.address;
        const std::uint64_t end = std::min<std::uint64_t>(address + s.size, std::uint64_t{source.fileEnd} + 1);
        if (end > address) plan.bytes += end - address;
        while (address < end) {
            const std::uint64_t stop = block ? std::min(end, (address / block + 1) * block) : end;
            plan.records += (stop - address + maxBytes - 1) / maxBytes;
            if (block) ++plan.blocks;
            address = stop;
        }
        if (end < std::uint64_t{s.address} + s.size) break;
    }
    return plan;
}

int RecordLength(const char* format, int maximum) {
    std::int32_t n = FormatInt(format, "DefaultRecordLength");
    if (n < 1 || n > maximum) {
        LogMessage("Invalid Record Length, valid range is 1 to " + std::to_string(maximum), 0);
        return 0;
    }
    return n;
}

bool ReadRecords(TFileIn& in, TDataSink& sink, TLineChecker check, const char* errorText, bool ignoreInvalid,
                 TRecordState& state, TFastRecord fast) {
    TLineReader lines(in);
    TRecord record;
    std::string_view line;
    while (!state.error) {
        if (fast && lines.AtLineStart()) {
            const std::string_view buf = in.Peek();
            std::size_t used = 0;
            while (std::size_t n = fast(buf.data() + used, buf.size() - used, state, sink)) {
                ++state.line;
                used += n;
            }
            in.Consume(used);
        }
        if (!lines.Next(line)) break;
        ++state.line;
        check(line, state, record);
        if (record.count == TRecord::Invalid) {
            state.error = true;
            if (ignoreInvalid) {
                if (state.errorCount < 100) {
                    ++state.errorCount;
                    LogMessage(errorText + std::to_string(state.line), 0);
                } else {
                    LogMessage("Max Error Count Reached", 0);
                }
                state.error = false;
            }
            continue;
        }
        if (record.count > 0) sink.Put(record.address, record.data, static_cast<std::size_t>(record.count));
    }
    if (state.error) {
        LogMessage(errorText + std::to_string(state.line), 0);
        return false;
    }
    return !in.Failed();
}

}  // namespace kovfiles
