#include "core/Files.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <functional>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/CancelledError.h"
#include "core/Date.h"
#include "core/FileSystemError.h"
#include "core/UniqueFd.h"

namespace nudgerly {
namespace {

std::string quoted(const std::filesystem::path& path) {
    return "\u201C" + path.filename().string() + "\u201D";
}

constexpr std::string_view temporaryInfix = ".tmp-";
constexpr std::size_t temporarySuffixLength = 6;  // mkostemp's XXXXXX: letters and digits

// Whether `entry` is the name of a temporary file that writeFileAtomically makes for `file` (for any
// file when `file` is empty).
bool isTemporaryName(std::string_view entry, std::string_view file) {
    const std::size_t fixed = 1 + temporaryInfix.size() + temporarySuffixLength;
    if (entry.size() <= fixed || entry.front() != '.') {
        return false;
    }
    const std::string_view name = entry.substr(1, entry.size() - fixed);
    const std::string_view infix = entry.substr(1 + name.size(), temporaryInfix.size());
    const std::string_view suffix = entry.substr(entry.size() - temporarySuffixLength);
    const auto isAlphanumeric = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    };
    return (file.empty() || name == file) && infix == temporaryInfix &&
           std::all_of(suffix.begin(), suffix.end(), isAlphanumeric);
}

// Whether the user alone may change what is in a file or folder: it is theirs and neither its group
// nor others may write to it.
bool onlyTheUserWrites(const struct stat& info) {
    return info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The folder opened for looking at and removing its entries: a real folder, or a link to a folder that
// only the user writes to (a folder kept on another disk, say); invalid otherwise.
UniqueFd openOwnFolder(const std::filesystem::path& folder) {
    const char* name = folder.empty() ? "." : folder.c_str();
    UniqueFd opened(::open(name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    // A link in the folder's place fails as not a folder (or as a link, on some systems).
    if (opened || (errno != ENOTDIR && errno != ELOOP)) {
        return opened;
    }
    // Checked on the folder opened, so that a link changed in between cannot send the sweep elsewhere.
    UniqueFd linked(::open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat info {};
    if (!linked || ::fstat(linked.get(), &info) != 0 || !onlyTheUserWrites(info)) {
        return UniqueFd();
    }
    return linked;
}

void removeTemporaries(const std::filesystem::path& folder, std::string_view file, std::chrono::seconds olderThan) {
    // Looked at and removed relative to the open folder, so that a folder renamed meanwhile is not
    // followed somewhere else.
    const UniqueFd folderFd = openOwnFolder(folder);
    if (!folderFd) {
        return;
    }
    const int listingFd = ::dup(folderFd.get());
    DIR* listing = listingFd >= 0 ? ::fdopendir(listingFd) : nullptr;
    if (listing == nullptr) {
        if (listingFd >= 0) {
            ::close(listingFd);
        }
        return;
    }
    const auto now = std::chrono::system_clock::now();
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(listing)) {
        if (!isTemporaryName(entry->d_name, file)) {
            continue;
        }
        struct stat info {};
        if (::fstatat(folderFd.get(), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) {
            continue;
        }
        const auto modified =
            std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
        if (now - modified >= olderThan) {
            stale.emplace_back(entry->d_name);
        }
    }
    ::closedir(listing);
    for (const std::string& name : stale) {
        ::unlinkat(folderFd.get(), name.c_str(), 0);
    }
}

std::filesystem::path folderOf(const std::filesystem::path& path) {
    return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

}  // namespace

void removeStaleTemporaries(const std::filesystem::path& file, std::chrono::seconds olderThan) {
    const std::string name = file.filename().string();
    if (!name.empty()) {
        removeTemporaries(folderOf(file), name, olderThan);
    }
}

void removeStaleTemporariesIn(const std::filesystem::path& folder, std::chrono::seconds olderThan) {
    removeTemporaries(folder, {}, olderThan);
}

void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, mode_t mode) {
    const std::string context = "Couldn't save " + quoted(path);
    const std::filesystem::path folder = folderOf(path);
    requireOwnFolder(folder);
    removeStaleTemporaries(path);
    std::string pattern = (folder / ("." + path.filename().string() + ".tmp-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');

    UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        throw FileSystemError(context, errno);
    }
    const std::string temporary(name.data());
    auto fail = [&](int error) {
        ::unlink(temporary.c_str());
        throw FileSystemError(context, error);
    };

    if (::fchmod(fd.get(), mode) != 0) {
        fail(errno);
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd.get()) != 0) {
        fail(errno);
    }
    if (const int error = fd.close(); error != 0) {
        fail(error);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        fail(errno);
    }
    // Make the rename itself durable; a failure here cannot undo the write, so it is not reported.
    UniqueFd directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) {
        ::fsync(directory.get());
    }
}

namespace {

struct OpenedFile {
    UniqueFd fd;
    uint64_t size = 0;
};

// The file opened for reading without blocking, so that a pipe given the file's name cannot stall the
// reader; only a regular file is accepted.
OpenedFile openRegularFile(const std::filesystem::path& path, const std::string& sentence, int extraFlags) {
    OpenedFile opened{.fd = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | extraFlags))};
    if (!opened.fd) {
        if (errno == ELOOP && (extraFlags & O_NOFOLLOW) != 0) {
            throw FileSystemError(sentence, ELOOP, "The item is a symbolic link.");
        }
        throw FileSystemError(sentence, errno);
    }
    struct stat info {};
    if (::fstat(opened.fd.get(), &info) != 0) {
        throw FileSystemError(sentence, errno);
    }
    if (!S_ISREG(info.st_mode)) {
        throw FileSystemError(sentence, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    }
    opened.size = static_cast<uint64_t>(info.st_size);
    return opened;
}

// One read of at most `wanted` bytes, again when a signal interrupts it; 0 at the end of the file.
std::size_t readSome(const UniqueFd& fd, char* buffer, uint64_t wanted, const std::string& sentence) {
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, static_cast<std::size_t>(wanted));
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            throw FileSystemError(sentence, errno);
        }
    }
}

PiecewiseRead readPieces(OpenedFile& file, uint64_t limit, const std::function<void(std::string_view)>& consume,
                         const std::stop_token& stop, const std::string& sentence) {
    PiecewiseRead outcome{.fileSize = file.size};
    char buffer[64 * 1024];
    while (outcome.bytesRead < limit) {
        if (stop.stop_requested()) {
            throw CancelledError();
        }
        const std::size_t n =
            readSome(file.fd, buffer, std::min<uint64_t>(sizeof buffer, limit - outcome.bytesRead), sentence);
        if (n == 0) {
            break;
        }
        outcome.bytesRead += n;
        consume(std::string_view(buffer, n));
    }
    return outcome;
}

// A file to be read whole, refused when it already holds more than `maxBytes`, and how far to read it:
// one byte past the cap tells a file that grew beyond it from one that holds exactly as much.
struct CappedFile {
    OpenedFile file;
    uint64_t limit = 0;
};

CappedFile openCapped(const std::filesystem::path& path, std::size_t maxBytes, const std::string& sentence,
                      int extraFlags) {
    OpenedFile file = openRegularFile(path, sentence, extraFlags);
    if (file.size > maxBytes) {
        throw FileSystemError(sentence, EFBIG);
    }
    const uint64_t limit = maxBytes < std::numeric_limits<uint64_t>::max() ? uint64_t{maxBytes} + 1 : maxBytes;
    return {std::move(file), limit};
}

std::string readWhole(const std::filesystem::path& path, std::size_t maxBytes, const std::stop_token& stop,
                      int extraFlags) {
    const std::string sentence = "Couldn't read " + quoted(path);
    CappedFile capped = openCapped(path, maxBytes, sentence, extraFlags);
    std::string contents;
    contents.reserve(static_cast<std::size_t>(capped.file.size));
    readPieces(
        capped.file, capped.limit, [&](std::string_view piece) { contents.append(piece); }, stop, sentence);
    if (contents.size() > maxBytes) {
        throw FileSystemError(sentence, EFBIG);
    }
    return contents;
}

}  // namespace

std::string readFile(const std::filesystem::path& path, std::size_t maxBytes, std::stop_token stop) {
    return readWhole(path, maxBytes, stop, 0);
}

std::string readOwnFile(const std::filesystem::path& path, std::size_t maxBytes, std::stop_token stop) {
    requireOwnFolder(folderOf(path));
    return readWhole(path, maxBytes, stop, O_NOFOLLOW);
}

std::filesystem::path followOwnFileLink(const std::filesystem::path& file) {
    std::filesystem::path target = file;
    struct stat info {};
    for (int hops = 0; ::lstat(target.c_str(), &info) == 0 && S_ISLNK(info.st_mode); ++hops) {
        std::error_code unreadable;
        const std::filesystem::path next = std::filesystem::read_symlink(target, unreadable);
        if (unreadable || hops == 40) {
            return file;
        }
        target = next.is_absolute() ? next : folderOf(target) / next;
    }
    if (target == file) {
        return file;
    }
    // A link to a file not made yet is followed too, so that the first save creates it there.
    const bool exists = ::lstat(target.c_str(), &info) == 0;
    if (exists ? !S_ISREG(info.st_mode) || !onlyTheUserWrites(info) : errno != ENOENT) {
        return file;
    }
    std::error_code unresolved;
    const std::filesystem::path folder = std::filesystem::canonical(folderOf(target), unresolved);
    struct stat folderInfo {};
    if (unresolved || ::stat(folder.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode) ||
        !onlyTheUserWrites(folderInfo)) {
        return file;
    }
    return folder / target.filename();
}

void requireOwnFolder(const std::filesystem::path& folder) {
    struct stat link {};
    if (::lstat(folder.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
        return;
    }
    // A link to nothing, or to something other than a folder, fails on its own when it is used.
    struct stat target {};
    if (::stat(folder.c_str(), &target) != 0 || !S_ISDIR(target.st_mode) || target.st_uid == ::geteuid()) {
        return;
    }
    throw FileSystemError("Nudgerly won't use the folder \u201C" + folder.string() + "\u201D", EPERM,
                          "It is a link to a folder that belongs to another user.");
}

PiecewiseRead readFileInPieces(const std::filesystem::path& path, uint64_t limit,
                               const std::function<void(std::string_view)>& consume, std::stop_token stop,
                               const std::string& context) {
    const std::string sentence = context.empty() ? "Couldn't read " + quoted(path) : context;
    OpenedFile file = openRegularFile(path, sentence, 0);
    return readPieces(file, limit, consume, stop, sentence);
}

namespace {

constexpr std::string_view damagedInfix = ".corrupt-";
constexpr std::size_t keptDamagedCopies = 3;

// Where a copy set aside by setDamagedFileAside stands among the others of its file: its time, then
// its attempt number; absent for any other name.
std::optional<std::pair<std::string, int>> damagedCopyOrder(std::string_view entry, std::string_view file) {
    if (!entry.starts_with(file) || entry.substr(file.size(), damagedInfix.size()) != damagedInfix) {
        return std::nullopt;
    }
    std::string_view rest = entry.substr(file.size() + damagedInfix.size());
    int attempt = 1;
    if (const std::size_t dash = rest.find('-'); dash != std::string_view::npos) {
        const std::string_view number = rest.substr(dash + 1);
        const auto parsed = std::from_chars(number.data(), number.data() + number.size(), attempt);
        if (number.empty() || parsed.ec != std::errc() || parsed.ptr != number.data() + number.size()) {
            return std::nullopt;
        }
        rest = rest.substr(0, dash);
    }
    const auto isStampCharacter = [](char c) { return (c >= '0' && c <= '9') || c == 'T' || c == 'Z'; };
    const bool isStamp =
        rest == "unknown" || (!rest.empty() && std::all_of(rest.begin(), rest.end(), isStampCharacter));
    if (!isStamp) {
        return std::nullopt;
    }
    return std::pair(std::string(rest), attempt);
}

// One damaged copy per damaged start would pile up without bound: the newest few are enough to look at.
// The copy just made (`kept`) stays whatever the clock said when the others were made.
void removeOlderDamagedCopies(const std::filesystem::path& file, const std::string& kept) {
    const UniqueFd folderFd = openOwnFolder(folderOf(file));
    const int listingFd = folderFd ? ::dup(folderFd.get()) : -1;
    DIR* listing = listingFd >= 0 ? ::fdopendir(listingFd) : nullptr;
    if (listing == nullptr) {
        if (listingFd >= 0) {
            ::close(listingFd);
        }
        return;
    }
    const std::string name = file.filename().string();
    std::vector<std::pair<std::pair<std::string, int>, std::string>> copies;
    while (const dirent* entry = ::readdir(listing)) {
        struct stat info {};
        if (const auto order = damagedCopyOrder(entry->d_name, name);
            order && entry->d_name != kept &&
            ::fstatat(folderFd.get(), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode)) {
            copies.emplace_back(*order, entry->d_name);
        }
    }
    ::closedir(listing);
    if (copies.size() < keptDamagedCopies) {
        return;
    }
    std::sort(copies.begin(), copies.end(), std::greater<>());
    for (auto older = copies.begin() + (keptDamagedCopies - 1); older != copies.end(); ++older) {
        ::unlinkat(folderFd.get(), older->second.c_str(), 0);
    }
}

}  // namespace

std::optional<std::filesystem::path> setDamagedFileAside(const std::filesystem::path& file) {
    // "20260301T093000Z": the current time, safe in a file name.
    std::string stamp = Iso8601::format(Date::now()).value_or("unknown");
    std::erase_if(stamp, [](char c) { return c == '-' || c == ':'; });
    const std::string base = file.filename().string() + std::string(damagedInfix) + stamp;
    const std::filesystem::path folder = folderOf(file);
    for (int attempt = 1; attempt < 100; ++attempt) {
        const std::filesystem::path aside = folder / (attempt == 1 ? base : base + "-" + std::to_string(attempt));
        if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
            removeOlderDamagedCopies(file, aside.filename().string());
            return aside;
        }
        if (errno != EEXIST) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

void createPrivateDirectories(const std::filesystem::path& path, mode_t mode) {
    const std::string context = "Couldn't create the folder " + quoted(path);
    std::filesystem::path current;
    for (const auto& part : path) {
        current /= part;
        if (::mkdir(current.c_str(), mode) != 0 && errno != EEXIST) {
            throw FileSystemError(context, errno);
        }
    }
    requireOwnFolder(path);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw FileSystemError(context, errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        throw FileSystemError(context, ENOTDIR);
    }
    if ((info.st_mode & 07777) != mode && ::chmod(path.c_str(), mode) != 0) {
        throw FileSystemError(context, errno);
    }
}

}  // namespace nudgerly
