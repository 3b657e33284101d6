// Rewrites, replaces and deletes a runtime.json over and over for a while, the
// way a crashing or half-written server might leave it, and never with a usable
// port. Writes what it did to <runtime.json>.churn and exits with the number of
// operations that failed or were held up, capped at 254.
//
// While a reader has the file open, however it shares it, Wine refuses to
// rename over the file (access denied) and at times to recreate it (sharing
// violation); Windows without POSIX file semantics does the same for renames.
// Those refusals are counted apart: a reader cannot read without opening.
//
//   runtime_churn.exe <runtime.json> <milliseconds>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>

namespace {

// None of these, nor any prefix a reader may catch mid-write, names a port.
const char* const kContents[] = {
    "{\"port\": 0}",
    "{\"port\": 70000}",
    "{\"port\": \"8080\"}",
    "{\"port\": -80}",
    "{\"port\": 80.5}",
    "{\"port\": 8",
    "",
    "\xEF\xBB\xBF{\"port\": 8081}",
    "{\"port\": 8082, \"name\": \"\xFF\"}",
    "[{\"port\": 8083}]",
    "{\"port\": 8084} trailing",
    "garbage",
};

struct Tally {
    long writes = 0;
    long replaces = 0;
    long deletes = 0;
    long failures = 0;
    long refused = 0;
    DWORD slowest_ms = 0;
    std::map<std::string, long> errors;  // "operation error" -> times
};

bool write_file(const std::wstring& path, const std::string& text) {
    // No sharing granted, as a careless writer would: the reader's own
    // sharing must be what keeps this from failing.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    // Two writes, so a reader can catch the first half.
    const DWORD half = static_cast<DWORD>(text.size() / 2);
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), half, &written, nullptr) != 0;
    Sleep(0);
    ok = ok && WriteFile(file, text.data() + half, static_cast<DWORD>(text.size()) - half, &written,
                         nullptr) != 0;
    return CloseHandle(file) != 0 && ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        return 255;
    }
    const std::wstring target = argv[1];
    const std::wstring scratch = target + L".tmp";
    const DWORD until = GetTickCount() + static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    Tally tally;
    for (unsigned i = 0; static_cast<LONG>(GetTickCount() - until) < 0; ++i) {
        const std::string text = kContents[i % std::size(kContents)];
        const char* failed = nullptr;
        const DWORD began = GetTickCount();
        switch (i % 3) {
            case 0:
                failed = write_file(target, text) ? nullptr : "write";
                ++tally.writes;
                break;
            case 1:
                if (!write_file(scratch, text)) {
                    failed = "write-scratch";
                } else if (!MoveFileExW(scratch.c_str(), target.c_str(),
                                        MOVEFILE_REPLACE_EXISTING)) {
                    failed = "replace";
                }
                ++tally.replaces;
                break;
            case 2:
                if (!DeleteFileW(target.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
                    failed = "delete";
                }
                ++tally.deletes;
                break;
        }
        const DWORD error = GetLastError();
        tally.slowest_ms = std::max(tally.slowest_ms, GetTickCount() - began);
        if (failed != nullptr) {
            ++tally.errors[std::string(failed) + " " + std::to_string(error)];
            const std::string_view what = failed;
            if ((what == "replace" && error == ERROR_ACCESS_DENIED) ||
                (what == "write" && error == ERROR_SHARING_VIOLATION)) {
                ++tally.refused;
            } else {
                ++tally.failures;
            }
        }
    }
    DeleteFileW(target.c_str());
    std::ofstream out(std::filesystem::path(target + L".churn"));
    out << "writes " << tally.writes << " replaces " << tally.replaces << " deletes "
        << tally.deletes << " failures " << tally.failures << " refused " << tally.refused
        << " slowest " << tally.slowest_ms << " ms";
    for (const auto& [what, times] : tally.errors) {
        out << ", " << what << " x" << times;
    }
    out << "\n";
    // An operation held up for a noticeable time counts as blocked.
    const long blocked = tally.failures + (tally.slowest_ms >= 500 ? 1 : 0);
    return static_cast<int>(std::min(blocked, 254L));
}
