/* The Windows build's charset decoders (qc_charsets.c, built into glib's win_iconv there) against
 * glibc's own converters, here on Linux: random input in each charset, and both must agree on
 * the text, or fail with the same error at the same byte. What Windows then writes is what Linux
 * writes. */
#include <errno.h>
#include <iconv.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

/* What qc_charsets.c takes from win_iconv.c. */
typedef unsigned char uchar;
typedef unsigned short ushort;
typedef unsigned int DWORD;
#define TRUE 1
#define FALSE 0
#define UNUSED __attribute__((unused))
#define _stricmp strcasecmp
typedef struct csconv_t csconv_t;
typedef int (*f_mbtowc)(csconv_t* cv, const uchar* buf, int bufsize, ushort* wbuf, int* wbufsize);
typedef int (*f_wctomb)(csconv_t* cv, ushort* wbuf, int wbufsize, uchar* buf, int bufsize);
struct csconv_t {
  int codepage;
  int flags;
  f_mbtowc mbtowc;
  f_wctomb wctomb;
  void* mblen;
  void* flush;
  DWORD mode;
  void* compat;
};
static int seterror(int err) {
  errno = err;
  return -1;
}

#include "qc_charsets.c"

/* win_iconv's loop, as it drives a decoder: 0 and the text, or -1 with errno and the byte. */
static int ours(const char* charset, const uchar* in, int n, ushort* out, int* nout, int* at) {
  csconv_t cv;
  int i = 0;
  if (!qc_make_csconv(charset, &cv)) return -2;
  *nout = 0;
  while (i < n) {
    ushort w[16];
    int ws = 16, k, r;
    DWORD mode = cv.mode;
    r = cv.mbtowc(&cv, in + i, n - i, w, &ws);
    if (r < 0) {
      cv.mode = mode;
      *at = i;
      return -1;
    }
    for (k = 0; k < ws; ++k) out[(*nout)++] = w[k];
    i += r;
  }
  return 0;
}

static int glibc(const char* charset, const uchar* in, int n, ushort* out, int* nout, int* at) {
  iconv_t cd = iconv_open("UTF-16LE", charset);
  char *ip = (char*)in, *op = (char*)out;
  size_t il = (size_t)n, ol = (size_t)(8 * n + 16), r;
  int e;
  if (cd == (iconv_t)-1) return -2;
  r = iconv(cd, &ip, &il, &op, &ol);
  e = errno;
  if (r != (size_t)-1) iconv(cd, NULL, NULL, &op, &ol);
  iconv_close(cd);
  *nout = (int)((ushort*)op - out);
  *at = (int)(ip - (char*)in);
  errno = e;
  return r == (size_t)-1 ? -1 : 0;
}

int main(void) {
  /* The labels of old mail in every script, and one of each kind of decoder. */
  static const char* const names[] = {
      "iso-8859-1",   "iso-8859-2",   "iso-8859-5",   "iso-8859-7",   "iso-8859-8",
      "iso-8859-10",  "iso-8859-11",  "iso-8859-14",  "iso-8859-15",  "iso-8859-16",
      "windows-1250", "windows-1251", "windows-1252", "windows-1253", "windows-1256",
      "koi8-r",       "koi8-u",       "ibm866",       "ibm850",       "macintosh",
      "tis-620",      "gb2312",       "gbk",          "cp936",        "gb18030",
      "big5",         "shift_jis",    "sjis",         "cp932",        "euc-jp",
      "iso-2022-jp",  "euc-kr",       "iso-2022-kr",  "utf-7",        NULL};
  static uchar in[16];
  static ushort a[256], b[256];
  int c, failed = 0;
  srand(20261207);
  for (c = 0; names[c] != NULL; ++c) {
    int t, differ = 0;
    const char* name = names[c];
    for (t = 0; t < 50000; ++t) {
      int n = 1 + rand() % 12, k, na, nb, ata = -1, atb = -1, ra, rb, ea, eb;
      for (k = 0; k < n; ++k) {
        int r = rand() % 10;
        if (strcmp(name, "utf-7") == 0) {
          static const char pool[] = "+-ABCDEFGHabc012/+-~\\ .AD4";
          in[k] = (uchar)pool[rand() % (int)(sizeof pool - 1)];
        } else if (strncmp(name, "iso-2022", 8) == 0) {
          static const char pool[] = "\x1b$B(J@)C\x0e\x0f!0a\n~\\\x30\x21\x7e\x80";
          in[k] = (uchar)pool[rand() % (int)(sizeof pool - 1)];
        } else if (strcmp(name, "gb18030") == 0 && r == 9) {
          in[k] = (uchar)(0x30 + rand() % 10);
        } else {
          in[k] = (uchar)(r < 3 ? rand() % 128 : 0x80 + rand() % 128);
        }
      }
      errno = 0;
      ra = ours(name, in, n, a, &na, &ata);
      ea = errno;
      errno = 0;
      rb = glibc(name, in, n, b, &nb, &atb);
      eb = errno;
      if (ra == -2 || rb == -2) {
        printf("%s: not known (%s)\n", name, ra == -2 ? "tables" : "glibc");
        differ = 1;
        break;
      }
      if (ra == rb &&
          (ra == 0 ? na == nb && memcmp(a, b, 2 * (size_t)na) == 0 : ata == atb && ea == eb))
        continue;
      if (differ++ < 3) {
        printf("%s: differs on", name);
        for (k = 0; k < n; ++k) printf(" %02X", in[k]);
        printf(" | tables %d (errno %d at %d) | glibc %d (errno %d at %d)\n", ra, ea, ata, rb, eb,
               atb);
      }
    }
    if (differ) {
      printf("%s: %d inputs read otherwise\n", name, differ);
      ++failed;
    }
  }
  printf("%d of the charsets read otherwise than glibc\n", failed);
  return failed != 0;
}
