// Ctrl-C at a Windows console, while quorvel-host renders through a slow plug-in: the event
// reaches every process on the console, the tool and its worker included. The tool must tell
// an interruption, exit with 1, leave the earlier file at the output path byte for byte and
// no other file, and its worker must end with it.
//
//   console_interrupt_test <quorvel-host.exe> <plug-in.dll> <empty folder>
//
// Needs a console: Wine gives its programs one only when it runs on a terminal (the test runs
// under `script`), and delivers CTRL_C_EVENT only to the whole console (process group 0), not
// CTRL_BREAK_EVENT nor an event to one group. Exit status 0 when all holds, 1 otherwise.
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char earlier[] = "the user's earlier render, not to be lost";

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The names of the files in `folder`, "." and ".." left out.
std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    } while (FindNextFileA(search, &found) != 0);
    FindClose(search);
    return names;
}

// The ids of the running processes whose parent is `parent`.
std::vector<DWORD> childrenOf(DWORD parent) {
    std::vector<DWORD> children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return children;
    }
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more != 0; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == parent) {
            children.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return children;
}

BOOL WINAPI ignoreEvent(DWORD /*event*/) {
    return TRUE;
}

int failed(const std::string& why) {
    std::fprintf(stderr, "console_interrupt_test: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        return failed("usage: console_interrupt_test TOOL PLUGIN FOLDER");
    }
    // The tool runs in the folder: every path is made absolute first.
    const auto absolute = [](const char* path) {
        char full[MAX_PATH * 2];
        const DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
        return length > 0 && length < sizeof full ? std::string(full, length) : std::string(path);
    };
    const std::string tool = absolute(argv[1]);
    const std::string plugin = absolute(argv[2]);
    const std::string folder = absolute(argv[3]);
    // The Ctrl-C this test sends reaches this process too. A handler, not the ignoring flag
    // (SetConsoleCtrlHandler(nullptr, TRUE)), which the tool would inherit.
    SetConsoleCtrlHandler(ignoreEvent, TRUE);
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const std::string& name : filesIn(folder)) {
        DeleteFileA((folder + "\\" + name).c_str());
    }
    std::ofstream(folder + "\\out.wav", std::ios::binary) << earlier;
    const std::string errPath = folder + ".err";

    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (err == INVALID_HANDLE_VALUE) {
        return failed("cannot create " + errPath);
    }
    // 4 s of the demo in blocks of 16 frames, each call 5 ms: a minute, long past the event.
    SetEnvironmentVariableA("QUORVEL_HOSTILE", "slow:5");
    std::string line = "\"" + tool + "\" render \"" + plugin + "\" -o out.wav --block 16";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = err;
    startup.hStdError = err;
    PROCESS_INFORMATION started{};
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup, &started) ==
        0) {
        return failed("cannot start the tool (error " + std::to_string(GetLastError()) + ")");
    }
    CloseHandle(err);
    CloseHandle(started.hThread);

    // The tool makes its temporary file once it is rendering: the Ctrl-C falls in the render.
    bool rendering = false;
    for (int wait = 0; wait < 1200 && !rendering; ++wait) {
        rendering = filesIn(folder).size() > 1;
        if (WaitForSingleObject(started.hProcess, 100) == WAIT_OBJECT_0) {
            return failed("the tool ended before the Ctrl-C: " + readFile(errPath));
        }
    }
    if (!rendering) {
        TerminateProcess(started.hProcess, 99);
        return failed("the tool made no temporary file within 120 s");
    }
    Sleep(500);
    const std::vector<DWORD> workers = childrenOf(started.dwProcessId);
    if (GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) == 0) {
        TerminateProcess(started.hProcess, 99);
        return failed("cannot send Ctrl-C to the console (error " + std::to_string(GetLastError()) +
                      "): the test must run on a console");
    }
    if (WaitForSingleObject(started.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(started.hProcess, 99);
        return failed("the tool did not end within 60 s of the Ctrl-C");
    }
    DWORD code = 0;
    GetExitCodeProcess(started.hProcess, &code);
    CloseHandle(started.hProcess);

    int failures = 0;
    const std::string said = readFile(errPath);
    if (code != 1) {
        failures += failed("exit code " + std::to_string(code) + ", expected 1: " + said);
    }
    if (said.find("interrupted by SIGINT") == std::string::npos || said.find("crashed") != std::string::npos) {
        failures += failed("expected an interruption, got: " + said);
    }
    if (readFile(folder + "\\out.wav") != earlier) {
        failures += failed("the earlier out.wav was changed");
    }
    // The ended processes' handles close just after they are gone: a leftover must outlast 2 s.
    std::vector<std::string> left;
    for (int wait = 0; wait < 20; ++wait) {
        left = filesIn(folder);
        if (left.size() == 1) {
            break;
        }
        Sleep(100);
    }
    if (left.size() != 1) {
        std::string names;
        for (const std::string& name : left) {
            names += " " + name;
        }
        failures += failed("files in the folder:" + names);
    }
    for (const DWORD worker : workers) {
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, worker);
        if (process != nullptr && WaitForSingleObject(process, 5000) != WAIT_OBJECT_0) {
            failures += failed("the worker process " + std::to_string(worker) + " outlived the tool");
            TerminateProcess(process, 99);
        }
        if (process != nullptr) {
            CloseHandle(process);
        }
    }
    if (workers.empty()) {
        failures += failed("the tool had no worker process when the Ctrl-C came");
    }
    if (failures == 0) {
        std::printf("console_interrupt_test: interrupted, exit 1, out.wav kept, no other file, the worker ended\n");
    }
    return failures == 0 ? 0 : 1;
}
