/* The Windows profile functions, driven from standard input, so that a test
   can compare its own reader and writer with kernel32's (under Wine).
     R<TAB>file<TAB>section<TAB>key            -> count<TAB>hex of the value
     W<TAB>file<TAB>section<TAB>key<TAB>value  -> 1 or 0
   Fields are hex-encoded, so that any byte can pass. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static int unhex(char *s)
{
    int n = 0;
    for (char *p = s; p[0] && p[1]; p += 2) {
        unsigned v;
        sscanf(p, "%2x", &v);
        s[n++] = (char)v;
    }
    s[n] = 0;
    return n;
}

int main(void)
{
    static char line[65536];
    char *field[6];
    setvbuf(stdout, NULL, _IONBF, 0);
    while (fgets(line, sizeof line, stdin)) {
        int n = 0;
        line[strcspn(line, "\r\n")] = 0;
        for (char *p = strtok(line, "\t"); p && n < 6; p = strtok(NULL, "\t"))
            field[n++] = p;
        for (int i = 1; i < n; ++i)
            unhex(field[i]);
        if (n == 4 && field[0][0] == 'R') {
            char buf[255];
            memset(buf, ' ', sizeof buf);
            DWORD got = GetPrivateProfileStringA(field[2], field[3], "", buf, 255, field[1]);
            printf("%lu\t", (unsigned long)got);
            for (DWORD i = 0; i < got; ++i)
                printf("%02X", (unsigned char)buf[i]);
            printf("\n");
        } else if (n == 5 && field[0][0] == 'W') {
            printf("%d\n", WritePrivateProfileStringA(field[2], field[3], field[4], field[1]) ? 1 : 0);
        } else {
            printf("?\n");
        }
    }
    return 0;
}
