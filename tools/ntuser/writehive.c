// Writes a registry hive file with Samba's own hive writer (libregistry, the regf backend):
// Wine keeps its registry as text and writes no hive, so Wine's keys are carried over to one.
// Reads lines from standard input, each of tab-separated fields:
//   K <path below the root>                 a key, made with the keys above it
//   V <type> <name> <data in hex>           a value of the key last named
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// From Samba's lib/registry/hive.h, which its packages do not install.
struct hive_key;
typedef struct {
    uint32_t w;
} WERROR;
typedef struct {
    uint8_t *data;
    size_t length;
} DATA_BLOB;
WERROR reg_create_regf_file(void *ctx, const char *location, int minor_version,
                            struct hive_key **key);
WERROR hive_key_add_name(void *ctx, const struct hive_key *parent, const char *name,
                         const char *classname, void *desc, struct hive_key **key);
WERROR hive_get_key_by_name(void *ctx, const struct hive_key *key, const char *name,
                            struct hive_key **subkey);
WERROR hive_key_set_value(struct hive_key *key, const char *name, uint32_t type, DATA_BLOB data);
WERROR hive_key_flush(struct hive_key *key);

static struct hive_key *subkey(struct hive_key *parent, const char *name)
{
    struct hive_key *k = NULL;
    if (hive_get_key_by_name(NULL, parent, name, &k).w == 0)
        return k;
    if (hive_key_add_name(NULL, parent, name, NULL, NULL, &k).w != 0) {
        fprintf(stderr, "cannot add key %s\n", name);
        exit(1);
    }
    return k;
}

// Samba counts the header's own page in the size of the hive's bins (offset 0x28), which
// Windows and hivex do not: hivex reads such a hive but, writing it, puts its next bin a page
// past the end. The size is written as the bins' own, and the header's checksum again.
static int fixbinssize(const char *path)
{
    enum { page = 4096, sizeat = 0x28, checksumat = 0x1fc };
    FILE *f = fopen(path, "r+b");
    uint8_t header[page];
    if (!f || fread(header, 1, page, f) != page || fseek(f, 0, SEEK_END) != 0)
        return 1;
    const long total = ftell(f);
    const uint32_t bins = (uint32_t)(total - page);
    memcpy(header + sizeat, &bins, 4);
    uint32_t sum = 0, word;
    for (int i = 0; i < checksumat; i += 4) {
        memcpy(&word, header + i, 4);
        sum ^= word;
    }
    sum = sum == 0xffffffffu ? 0xfffffffeu : sum == 0 ? 1 : sum;
    memcpy(header + checksumat, &sum, 4);
    const int ok = fseek(f, 0, SEEK_SET) == 0 && fwrite(header, 1, page, f) == page;
    return fclose(f) == 0 && ok ? 0 : 1;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: writehive HIVE < lines\n");
        return 2;
    }
    struct hive_key *root = NULL, *key = NULL;
    // Version 1.5, as Windows XP and later write.
    if (reg_create_regf_file(NULL, argv[1], 5, &root).w != 0) {
        fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    char line[1 << 16];
    while (fgets(line, sizeof line, stdin)) {
        line[strcspn(line, "\n")] = '\0';
        char *save = NULL;
        const char *kind = strtok_r(line, "\t", &save);
        if (!kind)
            continue;
        if (strcmp(kind, "K") == 0) {
            char *path = strtok_r(NULL, "\t", &save), *psave = NULL;
            key = root;
            for (char *part = strtok_r(path, "\\", &psave); part;
                 part = strtok_r(NULL, "\\", &psave))
                key = subkey(key, part);
        } else if (strcmp(kind, "V") == 0 && key) {
            const char *type = strtok_r(NULL, "\t", &save);
            const char *name = strtok_r(NULL, "\t", &save);
            const char *hex = strtok_r(NULL, "\t", &save);
            if (!type || !name)
                return 1;
            static uint8_t data[sizeof line / 2];
            size_t n = 0;
            for (; hex && hex[2 * n] && hex[2 * n + 1]; ++n) {
                unsigned byte;
                sscanf(hex + 2 * n, "%2x", &byte);
                data[n] = (uint8_t)byte;
            }
            const DATA_BLOB blob = {data, n};
            if (hive_key_set_value(key, name, (uint32_t)atoi(type), blob).w != 0) {
                fprintf(stderr, "cannot set %s\n", name);
                return 1;
            }
        }
    }
    if (hive_key_flush(root).w != 0)
        return 1;
    return fixbinssize(argv[1]);
}
