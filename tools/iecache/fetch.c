/* Fetches each address given and keeps it in Internet Explorer's cache as the browser does:
 * the body read through wininet, then a cache entry made and committed through wininet's cache
 * functions with the response's own headers, last-modified and expiry times. So the cache and
 * its index.dat come from the real writer. Built with mingw-w64 and run under Wine by
 * generate.sh. */
#include <windows.h>
#include <wininet.h>
#include <stdio.h>
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
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        if (!fetch(net, argv[i])) {
            wprintf(L"%ls failed: %lu\n", argv[i], (unsigned long)GetLastError());
            failed = 1;
        }
    }
    InternetCloseHandle(net);
    return failed;
}
