// Windows redirection of the standard streams and the text the VM prints.
#include "platform/platform.h"

#include "platform/win32/text.h"

#include <fcntl.h>
#include <io.h>

namespace tarn {
namespace platform {

bool openAppendTarget(const char* path, StreamTarget& out) {
    HANDLE file =
        // Append-only access: every write lands at the end of the file, even when
        // another process or the other stream writes to it too.
        CreateFileW(Wide(path), FILE_APPEND_DATA | SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    SetFilePointer(file, 0, nullptr, FILE_END);
    int fd = _open_osfhandle(intptr_t(file), _O_WRONLY | _O_APPEND | _O_TEXT);
    FILE* stream = fd >= 0 ? _fdopen(fd, "a") : nullptr;
    if (stream == nullptr) {
        if (fd >= 0)
            _close(fd);
        else
            CloseHandle(file);
        return false;
    }
    setbuf(stream, nullptr);
    out.handle = intptr_t(file);
    out.stream = stream;
    out.isPipe = false;
    return true;
}

bool openPipeTarget(const char* command, StreamTarget& out) {
    fflush(nullptr);
    FILE* stream = _wpopen(Wide(command), L"w");
    if (stream == nullptr)
        return false;
    out.handle = _get_osfhandle(_fileno(stream));
    out.stream = stream;
    out.isPipe = true;
    return true;
}

// The C runtime's descriptors 1 and 2 as they were before redirection.
static int savedDescriptors[2] = {-1, -1};

intptr_t redirectStdStream(StdStream which, const StreamTarget& target) {
    DWORD id = which == StdStream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
    FILE* c = which == StdStream::output ? stdout : stderr;
    fflush(c);
    HANDLE saved = GetStdHandle(id);
    SetStdHandle(id, reinterpret_cast<HANDLE>(target.handle));
    // The C runtime's own descriptor follows the handle, so printf reaches the target too.
    if (target.stream) {
        savedDescriptors[int(which)] = _dup(_fileno(c));
        _dup2(_fileno(target.stream), _fileno(c));
        if (!target.isPipe)
            setvbuf(c, nullptr, _IONBF, 0);
    }
    return intptr_t(saved);
}

void restoreStdStream(StdStream which, intptr_t saved) {
    FILE* c = which == StdStream::output ? stdout : stderr;
    fflush(c);
    SetStdHandle(which == StdStream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE,
                 reinterpret_cast<HANDLE>(saved));
    // Dropping our copy of a pipe's handle lets the command see the end of its input.
    int& descriptor = savedDescriptors[int(which)];
    if (descriptor >= 0) {
        _dup2(descriptor, _fileno(c));
        _close(descriptor);
        descriptor = -1;
    }
}

void closeTarget(StreamTarget& target) {
    if (target.stream) {
        if (target.isPipe)
            _pclose(target.stream);
        else
            fclose(target.stream);
    } else if (target.handle != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(target.handle));
    }
    target = StreamTarget();
}

// ---- Text the VM prints ------------------------------------------------------

int formatText(char* buffer, int32_t size, const char* format, va_list args) {
    return _vsnprintf(buffer, size_t(size), format, args);
}

void writeVmText(FILE* stream, const char* text, int32_t n) {
    // A modern runtime's FILE* belongs to the universal C runtime, not to ours:
    // compare it with that runtime's stderr instead of touching it.
    typedef FILE*(__cdecl * IobFunction)(unsigned);
    static IobFunction iob = reinterpret_cast<IobFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ucrtbase.dll"), "__acrt_iob_func")));
    bool toError = iob != nullptr && stream == iob(2);
    HANDLE handle = GetStdHandle(toError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD written = 0;
    WriteFile(handle, text, DWORD(n), &written, nullptr);
}

} // namespace platform
} // namespace tarn
