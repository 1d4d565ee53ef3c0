/* Keeps one file in Internet Explorer's cache under an address read from a file (an address
 * longer than a command line allows), through wininet's own cache functions, as fetch.c does
 * after its download. Built with mingw-w64 and run under Wine by deepaddress.sh.
 *   commit.exe ADDRESS-FILE BODY-FILE EXTENSION CONTENT-TYPE */
#include <windows.h>
#include <wininet.h>
#include <stdio.h>
#include <wchar.h>

enum { most = 1 << 20 };

static size_t readall(const wchar_t *path, char *to, size_t size)
{
    FILE *f = _wfopen(path, L"rb");
    if (!f)
        return 0;
    size_t n = fread(to, 1, size, f);
    fclose(f);
    return n;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 5)
        return 2;
    static char raw[most];
    size_t n = readall(argv[1], raw, most - 1);
    while (n > 0 && (raw[n - 1] == '\n' || raw[n - 1] == '\r'))
        --n;
    raw[n] = 0;
    static wchar_t address[most];
    if (n == 0 || !MultiByteToWideChar(CP_UTF8, 0, raw, -1, address, most))
        return 2;
    static char body[most];
    size_t total = readall(argv[2], body, most);

    wchar_t file[MAX_PATH];
    if (!CreateUrlCacheEntryW(address, total, argv[3], file, 0)) {
        wprintf(L"create failed: %lu\n", (unsigned long)GetLastError());
        return 1;
    }
    HANDLE h = CreateFileW(file, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    WriteFile(h, body, (DWORD)total, &written, NULL);
    CloseHandle(h);
    static wchar_t headers[1024];
    swprintf(headers, 1024, L"HTTP/1.1 200 OK\r\nContent-Type: %ls\r\n\r\n", argv[4]);
    FILETIME none = {0, 0};
    if (!CommitUrlCacheEntryW(address, file, none, none, NORMAL_CACHE_ENTRY, headers,
                              (DWORD)wcslen(headers), argv[3], NULL)) {
        wprintf(L"commit failed: %lu\n", (unsigned long)GetLastError());
        return 1;
    }
    wprintf(L"%lu characters -> %ls\n", (unsigned long)wcslen(address), file);
    return 0;
}
