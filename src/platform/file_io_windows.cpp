// The Windows half of the file layer (file_layer.h): the system's own layer there, and the
// only file of the core that includes <windows.h>.
//
// Every name goes to the system as UTF-16 with the long-path prefix, so names outside the
// ANSI code page and paths beyond 260 characters work. A folder is held open as a handle
// that does not share deletion: while a run holds its folder, nobody renames or removes it,
// so the full path it was opened by names it for as long as it is open.
#include "platform/file_io.h"
#include "platform/system_file_layer.h"

#include "platform/windows_api.h"
#include <shlwapi.h>

#include <fcntl.h>
#include <io.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace qf {
namespace {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const wchar_t* wide, std::size_t length) {
    if (length == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), utf8.data(), n, nullptr, nullptr);
    return utf8;
}

// The system's sentence for `code`, without its closing full stop and line break, so that
// it reads like the POSIX texts in our messages.
std::string SystemText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = n > 0 ? Narrow(buffer, n) : "system error " + std::to_string(code);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.')) {
        text.pop_back();
    }
    return text;
}

Error Win32Failure(ErrorKind otherwise, DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return Fail(ErrorKind::kMissing, SystemText(code));
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return Fail(ErrorKind::kExists, SystemText(code));
        default:
            return Fail(otherwise, SystemText(code));
    }
}

Error LastFailure(ErrorKind otherwise) { return Win32Failure(otherwise, GetLastError()); }

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

constexpr wchar_t kLongPrefix[] = L"\\\\?\\";

// The current folder, or the one of drive `drive` ("X:"), without a closing backslash.
std::wstring CurrentFolderOf(const std::wstring& drive) {
    // GetFullPathNameW of a bare drive gives that drive's current folder (and of "." ours);
    // it is only ever asked about these, as it would strip trailing dots and spaces from
    // names and turn names such as CON into devices.
    const std::wstring asked = drive.empty() ? L"." : drive;
    DWORD n = GetFullPathNameW(asked.c_str(), 0, nullptr, nullptr);
    std::wstring folder(n, L'\0');
    n = GetFullPathNameW(asked.c_str(), n, folder.data(), nullptr);
    folder.resize(n);
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    if (folder.size() == 3 && folder.back() == L'\\') folder.pop_back();  // "X:\" -> "X:"
    return folder;
}

// `path` made whole ("." and ".." taken out by name, every other name exactly as given).
std::wstring Absolute(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    const bool unc = path.rfind(L"\\\\", 0) == 0;
    const bool drive = path.size() >= 2 && path[1] == L':';
    if (!unc && !(drive && path.size() >= 3 && path[2] == L'\\')) {
        // Relative: to the drive's current folder ("X:name"), to the current drive
        // ("\\name") or to the current folder; that folder is whole, so this recursion ends.
        const std::wstring folder = CurrentFolderOf(drive ? path.substr(0, 2) : L"");
        const bool whole = folder.size() >= 2 && (folder[1] == L':' || folder.rfind(L"\\\\", 0) == 0);
        if (!whole) return path;  // no current folder to be had: the system's own rules then
        if (drive) return Absolute(folder + L"\\" + path.substr(2));
        if (!path.empty() && path[0] == L'\\') return Absolute(folder.substr(0, 2) + path);
        return Absolute(folder + L"\\" + path);
    }
    // The root stays: "X:" or "UNC\\server\\share"; the names after it are walked.
    std::size_t rootEnd = 2;
    std::wstring root = path.substr(0, 2);
    if (unc) {
        rootEnd = path.find(L'\\', 2);
        rootEnd = rootEnd == std::wstring::npos ? path.size() : path.find(L'\\', rootEnd + 1);
        if (rootEnd == std::wstring::npos) rootEnd = path.size();
        root = L"UNC" + path.substr(1, rootEnd - 1);
    }
    std::vector<std::wstring> names;
    for (std::size_t from = rootEnd; from < path.size();) {
        std::size_t to = path.find(L'\\', from + 1);
        if (to == std::wstring::npos) to = path.size();
        const std::wstring name = path.substr(from + 1, to - from - 1);
        if (name == L"..") {
            if (!names.empty()) names.pop_back();
        } else if (!name.empty() && name != L".") {
            names.push_back(name);
        }
        from = to;
    }
    std::wstring whole = root;
    for (const std::wstring& name : names) whole += L"\\" + name;
    if (names.empty() && !unc) whole += L'\\';  // "X:\\", the drive's root
    return whole;
}

// `path` as the system takes it whole, with the long-path prefix, which also makes it take
// every name literally (trailing dots and spaces, device names such as CON).
std::wstring SystemPath(const std::wstring& path) {
    if (path.rfind(kLongPrefix, 0) == 0) {
        std::wstring literal = path;
        std::replace(literal.begin() + 4, literal.end(), L'/', L'\\');
        return literal;
    }
    return kLongPrefix + Absolute(path);
}

// The full paths of the folders open as descriptors.
std::mutex g_foldersLock;
std::map<int, std::wstring> g_folders;

Result<std::wstring> FolderPath(int folderFd) {
    const std::lock_guard<std::mutex> lock(g_foldersLock);
    const auto found = g_folders.find(folderFd);
    if (found == g_folders.end()) return Win32Failure(ErrorKind::kCannotRead, ERROR_INVALID_HANDLE);
    return found->second;
}

// `name` in the folder `folderFd` (or a path, with kWorkingFolder), as the system takes it.
Result<std::wstring> PathAt(int folderFd, const std::string& name) {
    std::wstring wide = Wide(name);
    if (folderFd == kWorkingFolder) return SystemPath(wide);
    Result<std::wstring> folder = FolderPath(folderFd);
    if (!folder.ok()) return folder.error();
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    std::wstring path = folder.value();
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path + wide;
}

// A C runtime descriptor that owns `handle`; binary, so that no byte is ever translated.
Result<int> Descriptor(HANDLE handle, int flags, ErrorKind otherwise) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) {
        const int err = errno;
        CloseHandle(handle);
        return Fail(otherwise, ErrnoText(err));
    }
    return fd;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FileFacts FactsFrom(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info) {
    FileFacts facts;
    const DWORD attributes = info.dwFileAttributes;
    // A reparse point (a symbolic link, a junction, a mount point) is never a data file nor
    // a folder to walk into: it could lead anywhere.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        facts.type = FileType::kOther;
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        facts.type = FileType::kFolder;
    } else {
        facts.type = GetFileType(handle) == FILE_TYPE_DISK ? FileType::kRegular : FileType::kOther;
    }
    facts.size = std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
    facts.mode = (attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    facts.identity = std::to_string(info.dwVolumeSerialNumber) + ":" +
                     std::to_string(std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow);
    facts.modified = static_cast<std::int64_t>(std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 |
                                                info.ftLastWriteTime.dwLowDateTime);
    return facts;
}

Result<FileFacts> FactsOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return LastFailure(ErrorKind::kCannotRead);
    return FactsFrom(handle, info);
}


// Opens the folder at the whole system path `path` (CreateFileW's `flags`) as a descriptor,
// and keeps its path for the names relative to it; anything but a folder is refused.
Result<int> OpenFolderAt(const std::wstring& path, DWORD flags) {
    const HANDLE handle = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastFailure(ErrorKind::kCannotRead);
    Result<FileFacts> facts = FactsOfHandle(handle);
    if (!facts.ok() || facts.value().type != FileType::kFolder) {
        CloseHandle(handle);
        return facts.ok() ? Win32Failure(ErrorKind::kCannotRead, ERROR_DIRECTORY) : facts.error();
    }
    Result<int> fd = Descriptor(handle, _O_RDONLY, ErrorKind::kCannotRead);
    if (fd.ok()) {
        const std::lock_guard<std::mutex> lock(g_foldersLock);
        g_folders[fd.value()] = path;
    }
    return fd;
}

}  // namespace

std::string ErrnoText(int err) {
    char buffer[256];
    if (strerror_s(buffer, sizeof buffer, err) != 0) return "error " + std::to_string(err);
    return buffer;
}

std::string NameKey(const std::string& name) {
    std::wstring wide = Wide(name);
    if (!wide.empty()) CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return Narrow(wide.data(), wide.size());
}

Result<int> SystemFileLayer::OpenFolder(const std::string& path) {
    return OpenFolderAt(SystemPath(Wide(path)), FILE_FLAG_BACKUP_SEMANTICS);
}

bool MatchesGlob(const std::string& glob, const std::string& name) {
    return PathMatchSpecW(Wide(name).c_str(), Wide(glob).c_str()) != FALSE;
}

bool NameTooLong(const std::string& name) { return Wide(name).size() > 255; }

Result<int> SystemFileLayer::OpenSubfolder(int parentFd, const std::string& name) {
    Result<std::wstring> path = PathAt(parentFd, name);
    if (!path.ok()) return path.error();
    // A reparse point is opened as itself, and then is no folder to walk into.
    return OpenFolderAt(path.value(), FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
}

std::string SystemFileLayer::PathThroughFolder(int, const std::string&, const std::string& shownPath) {
    // An open folder cannot be renamed or removed here (it is held without sharing
    // deletion), so the path it was opened by still leads to it.
    return shownPath;
}

Result<int> SystemFileLayer::OpenToRead(const std::string& path) {
    // Reparse points are opened as themselves (and then refused as no data file); a folder
    // opens too, so that it is named as one.
    const std::wstring wide = SystemPath(Wide(path));
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastFailure(ErrorKind::kCannotRead);
    return Descriptor(handle, _O_RDONLY, ErrorKind::kCannotRead);
}

Result<int> SystemFileLayer::OpenToReadAt(int folderFd, const std::string& name) {
    Result<std::wstring> path = PathAt(folderFd, name);
    if (!path.ok()) return Fail(ErrorKind::kCannotRead, path.message());
    // A reparse point is opened as itself; without backup semantics a folder does not open.
    const HANDLE handle = CreateFileW(path.value().c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastFailure(ErrorKind::kCannotRead);
    return Descriptor(handle, _O_RDONLY, ErrorKind::kCannotRead);
}

Result<int> SystemFileLayer::CreateNewFile(int folderFd, const std::string& name) {
    Result<std::wstring> path = PathAt(folderFd, name);
    if (!path.ok()) return Fail(ErrorKind::kCannotCreate, path.message());
    const HANDLE handle = CreateFileW(path.value().c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastFailure(ErrorKind::kCannotCreate);
    return Descriptor(handle, _O_RDWR, ErrorKind::kCannotCreate);
}

Result<int> SystemFileLayer::OpenStreamToWrite(const std::string& path, std::chrono::milliseconds, const std::function<bool()>&) {
    const std::wstring wide = SystemPath(Wide(path));
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastFailure(ErrorKind::kCannotCreate);
    return Descriptor(handle, _O_WRONLY, ErrorKind::kCannotCreate);
}

Result<std::size_t> SystemFileLayer::WriteStreamSome(int fd, const void* data, std::size_t size) {
    DWORD done = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!WriteFile(HandleOf(fd), data, chunk, &done, nullptr) || done == 0) return LastFailure(ErrorKind::kWriteFailed);
    return std::size_t{done};
}

void SystemFileLayer::CloseFile(int fd) {
    if (fd < 0) return;
    {
        const std::lock_guard<std::mutex> lock(g_foldersLock);
        g_folders.erase(fd);  // before the number can be given out again
    }
    _close(fd);
}

Status SystemFileLayer::CloseChecked(int fd) {
    if (_close(fd) != 0) return Fail(ErrorKind::kWriteFailed, ErrnoText(errno));
    return Status::Ok();
}

Result<std::size_t> SystemFileLayer::ReadSome(int fd, std::uint64_t offset, void* into, std::size_t size) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, DWORD{1} << 30));
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(HandleOf(fd), into, chunk, &got, &position)) {
        const DWORD err = GetLastError();
        if (err == ERROR_HANDLE_EOF) return std::size_t{0};
        return Win32Failure(ErrorKind::kCannotRead, err);
    }
    return std::size_t{got};
}

Result<std::size_t> SystemFileLayer::WriteSome(int fd, std::uint64_t offset, const void* data, std::size_t size) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, DWORD{1} << 30));
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD put = 0;
    if (!WriteFile(HandleOf(fd), data, chunk, &put, &position)) {
        const DWORD code = GetLastError();
        const bool full = code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL;
        return Win32Failure(full ? ErrorKind::kNoSpace : ErrorKind::kWriteFailed, code);
    }
    if (put == 0) return Win32Failure(ErrorKind::kWriteFailed, ERROR_WRITE_FAULT);
    return std::size_t{put};
}

Status SystemFileLayer::FlushToDisk(int fd) {
    if (!FlushFileBuffers(HandleOf(fd))) return LastFailure(ErrorKind::kWriteFailed);
    return Status::Ok();
}

// A rename made with MOVEFILE_WRITE_THROUGH is durable on its own; folders are not flushed.
Status SystemFileLayer::SyncFolder(int) { return Status::Ok(); }

Result<FileFacts> SystemFileLayer::FactsOf(int fd) { return FactsOfHandle(HandleOf(fd)); }

Result<FileFacts> SystemFileLayer::FactsAt(int folderFd, const std::string& name, bool followLinks) {
    Result<std::wstring> path = PathAt(folderFd, name);
    if (!path.ok()) return path.error();
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE handle = CreateFileW(path.value().c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                      OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastFailure(ErrorKind::kCannotRead);
    Result<FileFacts> facts = FactsOfHandle(handle);
    CloseHandle(handle);
    return facts;
}

bool LinksLeadToDataFiles() { return false; }

bool SystemFileLayer::MayWrite(int folderFd, const std::string& name) {
    // A folder's read-only attribute does not keep files from being made in it.
    if (name == ".") return true;
    Result<std::wstring> path = PathAt(folderFd, name);
    if (!path.ok()) return true;
    const DWORD attributes = GetFileAttributesW(path.value().c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY);
}

// Permissions on Windows come from the folder's inherited access list, as for any new file.
void SystemFileLayer::CarryOverOwnership(int, const FileFacts&) {}

Result<std::vector<std::string>> SystemFileLayer::ListNames(int folderFd) {
    Result<std::wstring> folder = FolderPath(folderFd);
    if (!folder.ok()) return folder.error();
    std::wstring pattern = folder.value();
    if (pattern.empty() || pattern.back() != L'\\') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                           nullptr, FIND_FIRST_EX_LARGE_FETCH);
    std::vector<std::string> names;
    if (search == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return names;
        return LastFailure(ErrorKind::kCannotRead);
    }
    DWORD err = ERROR_NO_MORE_FILES;
    do {
        std::string name = Narrow(entry.cFileName, std::wcslen(entry.cFileName));
        if (name != "." && name != "..") names.push_back(std::move(name));
        if (!FindNextFileW(search, &entry)) {
            err = GetLastError();
            break;
        }
    } while (true);
    FindClose(search);
    if (err != ERROR_NO_MORE_FILES) return Win32Failure(ErrorKind::kCannotRead, err);
    std::sort(names.begin(), names.end());
    return names;
}

Status SystemFileLayer::RenameOver(int folderFd, const std::string& from, const std::string& to, bool writeThrough) {
    Result<std::wstring> source = PathAt(folderFd, from);
    Result<std::wstring> target = PathAt(folderFd, to);
    if (!source.ok()) return source.error();
    if (!target.ok()) return target.error();
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (writeThrough ? MOVEFILE_WRITE_THROUGH : 0);
    // A file that someone has open (a virus scanner, an indexer, a viewer, another run
    // looking at it) cannot be replaced. Such a hold is mostly brief: try again for a second
    // or so before calling it a failure.
    DWORD wait = 10;
    for (DWORD waited = 0;; waited += wait, wait *= 2) {
        if (MoveFileExW(source.value().c_str(), target.value().c_str(), flags)) return Status::Ok();
        const DWORD err = GetLastError();
        const bool held = err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION;
        if (!held || waited >= 1000) return Win32Failure(ErrorKind::kCannotCreate, err);
        ::Sleep(wait);
    }
}

Status SystemFileLayer::LinkAsNew(int folderFd, const std::string& from, const std::string& to) {
    Result<std::wstring> source = PathAt(folderFd, from);
    Result<std::wstring> target = PathAt(folderFd, to);
    if (!source.ok()) return source.error();
    if (!target.ok()) return target.error();
    if (CreateHardLinkW(target.value().c_str(), source.value().c_str(), nullptr)) return Status::Ok();
    const DWORD err = GetLastError();
    if (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS) return Win32Failure(ErrorKind::kExists, err);
    // A file system without hard links: a rename that may not replace does the same.
    if (MoveFileExW(source.value().c_str(), target.value().c_str(), 0)) return Status::Ok();
    return LastFailure(ErrorKind::kCannotCreate);
}

bool SystemFileLayer::RemoveFile(int folderFd, const std::string& name) {
    Result<std::wstring> path = PathAt(folderFd, name);
    return path.ok() && DeleteFileW(path.value().c_str());
}

Status SystemFileLayer::MakeFolder(const std::string& path) {
    const std::wstring wide = SystemPath(Wide(path));
    if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return LastFailure(ErrorKind::kCannotCreate);
    }
    return Status::Ok();
}

std::string SystemFileLayer::ProcessSpace() {
    // Process ids are the machine's own here: no namespaces share a folder's temporaries.
    return SystemFileLayer::HostName();
}

Status SystemFileLayer::MakeFolderAt(int parentFd, const std::string& name) {
    Result<std::wstring> path = PathAt(parentFd, name);
    if (!path.ok()) return Fail(ErrorKind::kCannotCreate, path.message());
    if (!CreateDirectoryW(path.value().c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return LastFailure(ErrorKind::kCannotCreate);
    }
    return Status::Ok();
}

long SystemFileLayer::CurrentProcessId() { return static_cast<long>(GetCurrentProcessId()); }

std::string SystemFileLayer::HostName() {
    wchar_t name[256] = {};
    DWORD size = 256;
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return {};
    return Narrow(name, size);
}

bool SystemFileLayer::ProcessIsGone(long pid) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
    CloseHandle(process);
    return ended;
}

bool SystemFileLayer::StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

int SystemFileLayer::StandardErrorColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

namespace {
std::atomic<UINT> g_consoleCodePage{0};  // the one found at start; 0 until changed

void PutConsoleBack() {
    if (const UINT found = g_consoleCodePage.exchange(0); found != 0) SetConsoleOutputCP(found);
}

}  // namespace

void SystemFileLayer::RestoreConsole() { PutConsoleBack(); }

void SystemFileLayer::UseUtf8Console() {
    const UINT found = GetConsoleOutputCP();
    if (found == 0 || found == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) return;  // no console, or UTF-8 already
    if (g_consoleCodePage.exchange(found) == 0) std::atexit(PutConsoleBack);
}

bool SystemFileLayer::SetStandardOutputBinary(bool binary) {
    std::fflush(stdout);
    return _setmode(_fileno(stdout), binary ? _O_BINARY : _O_TEXT) == _O_BINARY;
}

namespace {

// What a job object's memory limits leave this process; 0 for no limit. Windows tells a
// job's peak use, not its current one: the peak errs on the safe side.
std::uint64_t JobMemoryLeft() {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
    if (!QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &info,
                                   static_cast<DWORD>(sizeof info), nullptr)) {
        return 0;
    }
    std::uint64_t left = 0;
    const auto take = [&left](std::uint64_t limit, std::uint64_t used) {
        const std::uint64_t room = limit > used ? limit - used : 1;  // at its limit: not "no limit"
        left = left == 0 ? room : std::min(left, room);
    };
    const DWORD flags = info.BasicLimitInformation.LimitFlags;
    if (flags & JOB_OBJECT_LIMIT_JOB_MEMORY) take(info.JobMemoryLimit, info.PeakJobMemoryUsed);
    if (flags & JOB_OBJECT_LIMIT_PROCESS_MEMORY) take(info.ProcessMemoryLimit, info.PeakProcessMemoryUsed);
    return left;
}

}  // namespace

FreeMemory SystemFileLayer::AvailableMemory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    FreeMemory free{GlobalMemoryStatusEx(&status) ? status.ullAvailPhys : 0, false};
    if (const std::uint64_t left = JobMemoryLeft(); left != 0 && (free.bytes == 0 || left < free.bytes)) {
        free = {left, true};
    }
    return free;
}

int SystemFileLayer::CoresAllowed() {
    DWORD_PTR process = 0, system = 0;
    // Both masks are 0 when the process's threads span several processor groups.
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0) {
        return static_cast<int>(std::thread::hardware_concurrency());
    }
    int cores = 0;
    for (DWORD_PTR rest = process; rest != 0; rest &= rest - 1) ++cores;
    // An unnarrowed mask covers one processor group only; the count covers them all.
    if (process == system) cores = std::max(cores, static_cast<int>(std::thread::hardware_concurrency()));
    return cores;
}

void SystemFileLayer::TuneAllocatorForFrames() {}

std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(Narrow(argv[i], std::wcslen(argv[i])));
    return args;
}

namespace {

// Ctrl-C and Ctrl-Break come as C signals; the C runtime puts the default handling back
// before it calls us, so the handler takes them again each time.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGBREAK};
void (*g_previous[3])(int);
std::atomic<void (*)(int)> g_onStop{nullptr};
std::atomic<bool> g_finished{false};
constexpr int kHangUp = 1;  // SIGHUP's number, which Windows lacks

extern "C" void OnStopSignal(int signal) {
    std::signal(signal, OnStopSignal);
    if (void (*onStop)(int) = g_onStop.load()) onStop(signal);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    void (*onStop)(int) = g_onStop.load();
    if (!onStop) return FALSE;
    switch (event) {
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            onStop(kHangUp);
            // The system ends the process when this returns (and five seconds after the
            // event at the latest): give the run the time for its last output and summary.
            for (int waited = 0; waited < 4000 && !g_finished.load(); waited += 10) ::Sleep(10);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void SystemFileLayer::WatchStopSignals(void (*onStop)(int signal)) {
    g_finished = false;
    g_onStop = onStop;
    for (int i = 0; i < 3; ++i) g_previous[i] = std::signal(kStopSignals[i], OnStopSignal);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void SystemFileLayer::UnwatchStopSignals() {
    g_finished = true;
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    for (int i = 0; i < 3; ++i) std::signal(kStopSignals[i], g_previous[i]);
    g_onStop = nullptr;
}

void SystemFileLayer::EndBySignal(int signal) {
    // A closing console ends the process itself; a second Ctrl-C or Ctrl-Break ends it as
    // it would without us, with the console's code page put back first.
    if (signal == kHangUp) return;
    RestoreConsole();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

FileLayer& SystemFiles() {
    // Never destroyed: a destructor at exit may still close a file.
    static SystemFileLayer* const files = new SystemFileLayer();
    return *files;
}

}  // namespace qf
