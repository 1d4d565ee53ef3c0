/* Fetches each address given and keeps it in Internet Explorer's cache as the browser does:
 * the body read through wininet, then a cache entry made and committed through wininet's cache
 * functions with the response's own headers, last-modified and expiry times. So the cache and
 * its index.dat come from the real writer. Built with mingw-w64 and run under Wine by
 * generate.sh. With --ansi first, entries are made through the ANSI functions, as Internet
 * Explorer of the ANSI Windows did: the address and file name are kept in the system's code
 * page. */
#include <windows.h>
#include <wininet.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* "jpg" for ".../banner.jpg?v=2"; empty when the last segment has none. */
static void extensionof(const wchar_t *url, wchar_t *ext, size_t size)
{
    wchar_t path[2048];
    wcsncpy(path, url, 2047);
    path[2047] = 0;
    wchar_t *cut = wcspbrk(path, L"?#");
    if (cut)
        *cut = 0;
    const wchar_t *slash = wcsrchr(path, L'/');
    const wchar_t *dot = wcsrchr(slash ? slash : path, L'.');
    ext[0] = 0;
    if (dot && dot[1])
        wcsncpy(ext, dot + 1, size - 1), ext[size - 1] = 0;
}

static int ansi = 0;

/* In the system's code page, as an ANSI program has it; NULL when it does not fit. */
static char *toansi(const wchar_t *text, int length)
{
    int size = WideCharToMultiByte(CP_ACP, 0, text, length, NULL, 0, NULL, NULL);
    char *out = size > 0 ? malloc(size + 1) : NULL;
    if (out) {
        WideCharToMultiByte(CP_ACP, 0, text, length, out, size, NULL, NULL);
        out[size] = 0;
    }
    return out;
}

static int commitansi(const wchar_t *address, DWORD total, const char *body, FILETIME expires,
                      FILETIME modified, const wchar_t *headers, DWORD hlength, const wchar_t *ext)
{
    char *url = toansi(address, -1), *aext = toansi(ext, -1), *aheaders = toansi(headers, hlength);
    char file[MAX_PATH];
    int ok = url && aext && CreateUrlCacheEntryA(url, total, aext, file, 0);
    if (ok) {
        HANDLE h = CreateFileA(file, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD written = 0;
        WriteFile(h, body, total, &written, NULL);
        CloseHandle(h);
        ok = CommitUrlCacheEntryA(url, file, expires, modified, NORMAL_CACHE_ENTRY,
                                  (BYTE *)aheaders, aheaders ? (DWORD)strlen(aheaders) : 0,
                                  aext, NULL);
    }
    if (ok) {
        char info[4096];
        DWORD isize = sizeof info;
        if (RetrieveUrlCacheEntryFileA(url, (INTERNET_CACHE_ENTRY_INFOA *)info, &isize, 0))
            UnlockUrlCacheEntryFileA(url, 0);
    }
    free(url);
    free(aext);
    free(aheaders);
    return ok;
}

static int fetch(HINTERNET net, const wchar_t *address)
{
    HINTERNET url = InternetOpenUrlW(net, address, NULL, 0,
                                     INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD, 0);
    if (!url)
        return 0;
    static char body[1 << 20];
    DWORD got = 0, total = 0;
    while (total < sizeof body &&
           InternetReadFile(url, body + total, sizeof body - total, &got) && got > 0)
        total += got;

    wchar_t headers[8192];
    DWORD hsize = sizeof headers;
    if (!HttpQueryInfoW(url, HTTP_QUERY_RAW_HEADERS_CRLF, headers, &hsize, NULL))
        headers[0] = 0, hsize = 0;
    SYSTEMTIME st;
    DWORD stsize = sizeof st;
    FILETIME modified = {0, 0}, expires = {0, 0};
    if (HttpQueryInfoW(url, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &st, &stsize,
                       NULL))
        SystemTimeToFileTime(&st, &modified);
    /* A day from now, as the server's max-age says. */
    GetSystemTimeAsFileTime(&expires);
    ULARGE_INTEGER e = {.LowPart = expires.dwLowDateTime, .HighPart = expires.dwHighDateTime};
    e.QuadPart += 86400ULL * 10000000ULL;
    expires.dwLowDateTime = e.LowPart;
    expires.dwHighDateTime = e.HighPart;
    InternetCloseHandle(url);

    wchar_t ext[32], file[MAX_PATH];
    extensionof(address, ext, 32);
    if (ansi) {
        if (!commitansi(address, total, body, expires, modified, headers, hsize / sizeof(wchar_t),
                        ext))
            return 0;
        wprintf(L"%ls: %lu bytes\n", address, (unsigned long)total);
        return 1;
    }
    if (!CreateUrlCacheEntryW(address, total, ext, file, 0))
        return 0;
    HANDLE h = CreateFileW(file, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    WriteFile(h, body, total, &written, NULL);
    CloseHandle(h);
    if (!CommitUrlCacheEntryW(address, file, expires, modified, NORMAL_CACHE_ENTRY, headers,
                              hsize / sizeof(wchar_t), ext, NULL))
        return 0;
    /* Looked at once more, as a page shown again would: a hit and an access time. */
    DWORD isize = 0;
    RetrieveUrlCacheEntryFileW(address, NULL, &isize, 0);
    char info[4096];
    isize = sizeof info;
    if (RetrieveUrlCacheEntryFileW(address, (INTERNET_CACHE_ENTRY_INFOW *)info, &isize, 0))
        UnlockUrlCacheEntryFileW(address, 0);
    wprintf(L"%ls: %lu bytes -> %ls\n", address, (unsigned long)total, file);
    return 1;
}

int wmain(int argc, wchar_t **argv)
{
    HINTERNET net = InternetOpenW(L"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1)",
                                  INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0);
    if (!net)
        return 2;
    int failed = 0, first = 1;
    if (argc > 1 && wcscmp(argv[1], L"--ansi") == 0)
        ansi = 1, first = 2;
    for (int i = first; i < argc; ++i) {
        if (!fetch(net, argv[i])) {
            wprintf(L"%ls failed: %lu\n", argv[i], (unsigned long)GetLastError());
            failed = 1;
        }
    }
    InternetCloseHandle(net);
    return failed;
}
