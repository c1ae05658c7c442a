// Every call the core makes to the operating system about files, folders, processes, the
// console and stop signals, in one place. The functions below go through the layer in use
// (file_layer.h): the system's own, a POSIX half (file_io_posix.cpp) or a Windows half
// (file_io_windows.cpp), unless a test put a double in. Nothing else includes a system header.
//
// Names and paths are UTF-8 throughout; the Windows half turns them into UTF-16 (with the
// long-path prefix) at each call. Descriptors are ints on both sides: on Windows they are C
// runtime descriptors over the system's handles, used only through the functions below.
// A failure's message is the system's own words for the cause ("No such file or directory");
// the caller says what it was doing.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace qf {

/// Stands for the process's working folder where a folder descriptor is expected: a name
/// relative to it is a path, relative or absolute.
inline constexpr int kWorkingFolder = -100;

#ifdef _WIN32
inline constexpr std::string_view kPathSeparators = "/\\";
#else
inline constexpr std::string_view kPathSeparators = "/";
#endif
/// The separator the system's own programs show, which joins the paths we build.
inline constexpr char kNativeSeparator = kPathSeparators.back();

/// True for a character that separates the folders of a path on this system.
constexpr bool IsPathSeparator(char c) { return kPathSeparators.find(c) != std::string_view::npos; }
/// Where the last separator of `path` is, or npos.
inline std::size_t LastSeparator(const std::string& path) { return path.find_last_of(kPathSeparators); }
/// `folder` as the start of a path inside it: unchanged when it ends in a separator, else
/// with the native one added ("" is the working folder). What the user typed stays as typed.
inline std::string WithTrailingSeparator(const std::string& folder) {
    if (folder.empty()) return std::string(".") + kNativeSeparator;
    return IsPathSeparator(folder.back()) ? folder : folder + kNativeSeparator;
}

/// The key that two names of one folder share when the system takes them for one file: the
/// name itself on POSIX; on Windows, whose file systems ignore case, its upper case.
std::string NameKey(const std::string& name);

/// Where ".orx" stands in `name`, or npos; on Windows regardless of (ASCII) case, as there
/// "SCAN.ORX" is the same kind of file as "scan.orx".
inline std::size_t FindDataExtension(const std::string& name) {
#ifdef _WIN32
    std::string folded = name;
    for (char& c : folded) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return folded.find(".orx");
#else
    return name.find(".orx");
#endif
}

/// True when the file systems of this system take no name as long as `name` (255 bytes
/// on POSIX, 255 UTF-16 units on Windows).
bool NameTooLong(const std::string& name);

/// True when `name` matches the shell-style `glob` (*, ?, [...]); on Windows regardless of
/// case, as its file systems take names.
bool MatchesGlob(const std::string& glob, const std::string& name);

enum class FileType { kRegular, kFolder, kOther };

struct FileFacts {
    FileType type = FileType::kOther;
    std::uint64_t size = 0;
    unsigned mode = 0;     ///< permission bits (0 where the system has none)
    unsigned group = 0;
    std::string identity;  ///< the same for every name of one file or folder
    std::int64_t modified = 0;  ///< the last change of the contents, in the system's ticks
};

/// True when `a` and `b` describe one file with the same contents as far as the system
/// tells: the same identity, size and modification time.
inline bool SameFileUnchanged(const FileFacts& a, const FileFacts& b) {
    return a.identity == b.identity && a.size == b.size && a.modified == b.modified;
}

/// What a file or folder is instead of a data file: "" for a regular file, else the words.
std::string NotADataFileReason(FileType type);

// Opening and closing. Failures: kMissing when the name is not there, else kCannotRead.
/// Opens a folder, for listing it and for the names relative to it.
Result<int> OpenFolder(const std::string& path);
/// Opens the folder `name` of `parentFd`, never through a link (nor a reparse point), so
/// that a walk down a tree stays in it whatever is renamed or swapped meanwhile.
Result<int> OpenSubfolder(int parentFd, const std::string& name);
/// A path by which another component (the acquisition control) opens `name` of the open
/// folder `folderFd` itself, not whatever now stands at the folder's old path;
/// `shownPath` is the path as the user named it, used where the system needs no other.
std::string PathThroughFolder(int folderFd, const std::string& name, const std::string& shownPath);
/// Opens a file for positioned reads; never blocks on a FIFO or device.
Result<int> OpenToRead(const std::string& path);
/// Opens `name` in the folder `folderFd` to read: never through a link, never waiting on a
/// FIFO, no folder.
Result<int> OpenToReadAt(int folderFd, const std::string& name);
/// Creates `name` in `folderFd` for writing (and reading back, as libtiff does when it
/// links a page to the one before): kExists when the name is taken, never through a link.
Result<int> CreateNewFile(int folderFd, const std::string& name);
/// Opens a FIFO, a terminal or a device for writing in order. A FIFO without a reader is
/// not waited on forever: it is tried again until `limit` has passed or `stop()` is true,
/// then it is kCannotCreate with the cause.
Result<int> OpenStreamToWrite(const std::string& path, std::chrono::milliseconds limit,
                              const std::function<bool()>& stop);
/// Writes all `size` bytes in order (to a stream, where positions mean nothing).
Status WriteStream(int fd, const void* data, std::size_t size);
void CloseFile(int fd);
/// Closes and reports what the close found (a late write error, for one).
Status CloseChecked(int fd);

// Reading and writing.
/// Reads up to `size` bytes at `offset`; fewer only at the end of the file.
Result<std::size_t> ReadAt(int fd, std::uint64_t offset, void* into, std::size_t size);
/// Writes all `size` bytes at `offset`.
Status WriteAt(int fd, std::uint64_t offset, const void* data, std::size_t size);
/// Makes the file's data durable.
Status FlushToDisk(int fd);
/// Makes a folder's entries (the renames into it) durable; a no-op where that is not a thing.
Status SyncFolder(int folderFd);

// What is there.
Result<FileFacts> FactsOf(int fd);
/// Facts of `name` in `folderFd`; `followLinks` false: of a link itself (reparse points
/// on Windows are never followed).
Result<FileFacts> FactsAt(int folderFd, const std::string& name, bool followLinks);
/// True where a link to a regular file counts as a data file (POSIX); on Windows, reparse
/// points are never data files.
bool LinksLeadToDataFiles();
/// False when `name` exists and the system would refuse to write it (read-only).
bool MayWrite(int folderFd, const std::string& name);
/// Gives a fresh file the permission bits and group of the one it replaces, where allowed.
void CarryOverOwnership(int fd, const FileFacts& replaced);
/// Every entry name of `folderFd` in byte order, without "." and "..".
Result<std::vector<std::string>> ListNames(int folderFd);

// Changing names.
/// Renames `from` over `to` in one step; `writeThrough`: durable before it returns.
Status RenameOver(int folderFd, const std::string& from, const std::string& to, bool writeThrough);
/// Gives the file `from` the second name `to`; kExists when `to` is taken.
Status LinkAsNew(int folderFd, const std::string& from, const std::string& to);
/// Removes a file; false when it could not.
bool RemoveFile(int folderFd, const std::string& name);
/// Makes the folder `path`; one that exists already is fine.
Status MakeFolder(const std::string& path);
/// Makes the folder `name` in `parentFd`; one that exists already is fine.
Status MakeFolderAt(int parentFd, const std::string& name);

// Processes and the console.
long CurrentProcessId();
/// This machine's name ("" when the system gives none).
std::string HostName();
/// What tells this machine, this boot and this process namespace from every other that
/// may share a folder: the whole host name, the boot's id and the PID namespace, where
/// the system has them. Two processes that see the same text see the same process ids.
std::string ProcessSpace();
/// True only when no process of that id runs (false when that cannot be told).
bool ProcessIsGone(long pid);
/// The system's words for an errno value.
std::string ErrnoText(int err);
/// True when standard error is a terminal.
bool StandardErrorIsTerminal();
/// The width in columns of the terminal standard error shows on; 0 when it is none or
/// does not say.
int StandardErrorColumns();
/// Arranges for the console to show UTF-8 output as text (Windows); nothing elsewhere. The
/// console's code page is shared with the shell that started us: it is put back at exit.
void UseUtf8Console();
/// Puts back the console code page UseUtf8Console() found; safe to call more than once.
void RestoreConsole();
/// Makes standard output binary (true: "\n" stays "\n") or text (false: "\r\n" on
/// Windows); returns whether it was binary. Always binary elsewhere.
bool SetStandardOutputBinary(bool binary);
/// Memory a run may still take, and whose limit set it.
struct FreeMemory {
    std::uint64_t bytes = 0;  ///< 0 when the system does not say
    /// True when a limit on this process (a Linux control group's or address-space limit, a
    /// Windows job object's) leaves less than the machine has free.
    bool processLimit = false;
};
/// Bytes of memory the system can give without swapping, or fewer when a limit on this
/// process leaves fewer.
FreeMemory AvailableMemory();
/// The default number of jobs: the cores this process may run on (its CPU affinity, which a
/// cluster's scheduler narrows to the job's share), at least 1.
int DefaultJobs();
/// The cores this process may run on, as its CPU affinity says; 0 when the system does not say.
int CoresAllowed();
/// Sets the allocator to keep freed frame buffers for the next frame (glibc); nothing elsewhere.
void TuneAllocatorForFrames();

/// Calls `onStop(signal)` for each stop the user asks for until UnwatchStopSignals(): SIGINT,
/// SIGTERM, SIGHUP; on Windows Ctrl-C, Ctrl-Break, and a closing console, a log-off or a
/// shutdown as SIGHUP's number (1), from a system thread. `onStop` runs as a signal handler.
void WatchStopSignals(void (*onStop)(int signal));
/// Puts back the handling WatchStopSignals() found. On Windows, a closing console ends the
/// process when its handler returns: that handler waits for this call (4 s at most).
void UnwatchStopSignals();
/// Ends the process as `signal` would have without us (the user asked twice).
void EndBySignal(int signal);

#ifdef _WIN32
/// The command line's arguments as UTF-8.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv);
#endif

}  // namespace qf
