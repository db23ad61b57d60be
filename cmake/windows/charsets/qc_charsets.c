/* Charsets read from tables written by make_charset_tables out of the C library's own converters,
 * so that the Windows program reads each label the Linux program reads, as it reads it; Windows'
 * code pages are fewer and differ in places. Included into glib's win_iconv.c by scripts/windows,
 * which makes win_iconv_open try these for the charset converted from before its own code pages;
 * the charset converted into is still Windows' own (the program only ever converts into UTF-8). */

struct qc_charset {
  const char* labels; /* "|label|label|", lower case */
  int kind;
  const unsigned short* single; /* 256 */
  const unsigned short* dbcs;   /* lead bytes 0x80-0xFF x 256 */
  const unsigned short* triple; /* EUC-JP after 0x8F: 0x80-0xFF x 0x80-0xFF */
  const unsigned short* quad;   /* GB18030 four bytes, first bytes 0x81-0x84 */
  const unsigned int* wide;     /* characters beyond the BMP, for cells 0xD800 + n */
};

enum { QC_SINGLE = 0, QC_DOUBLE = 1, QC_EUCJP = 2, QC_GB18030 = 3 };

#define QC_INVALID 0xFFFF
#define QC_MORE 0xFFFE
/* The table's place (and for ISO-2022, which one) is kept in the codepage field, which only
 * Windows' own converters read. */
#define QC_BASE 0x7F000000
#define QC_JAPANESE 0x10000

#include "qc_charset_tables.h"

#define QC_COUNT ((int)(sizeof qc_charsets / sizeof qc_charsets[0]))

static int qc_find(const char* label) {
  char key[72];
  size_t n = 0;
  int i;
  key[n++] = '|';
  for (; *label != '\0' && !(label[0] == '/' && label[1] == '/'); ++label) {
    if (n >= sizeof key - 2) return -1;
    key[n++] = (char)((*label >= 'A' && *label <= 'Z') ? *label - 'A' + 'a' : *label);
  }
  key[n++] = '|';
  key[n] = '\0';
  for (i = 0; i < QC_COUNT; ++i)
    if (strstr(qc_charsets[i].labels, key) != NULL) return i;
  return -1;
}

static const struct qc_charset* qc_of(csconv_t* cv) {
  return &qc_charsets[(cv->codepage - QC_BASE) & 0xFFFF];
}

static int qc_put(ushort* wbuf, int* wbufsize, unsigned int c, int used) {
  if (c >= 0xD800 && c <= 0xDFFF)
    return seterror(EILSEQ); /* a table cell whose character lies beyond the BMP: see qc_cell */
  if (c >= 0x10000) {
    c -= 0x10000;
    wbuf[0] = (ushort)(0xD800 | (c >> 10));
    wbuf[1] = (ushort)(0xDC00 | (c & 0x3FF));
    *wbufsize = 2;
  } else {
    wbuf[0] = (ushort)c;
    *wbufsize = 1;
  }
  return used;
}

/* A cell's character: 0xD800 + n stands for the n-th of the charset's characters beyond the BMP. */
static unsigned int qc_cell(const struct qc_charset* cs, unsigned int c) {
  if (c >= 0xD800 && c <= 0xDFFF && cs->wide != NULL) return cs->wide[c - 0xD800];
  return c;
}

/* One character of a table charset: one byte, or a lead byte and one to three more. */
static int qc_table_read(const struct qc_charset* cs, const uchar* buf, int bufsize, ushort* wbuf,
                         int* wbufsize) {
  unsigned int c = cs->single[buf[0]];
  if (c == QC_INVALID) return seterror(EILSEQ);
  if (c != QC_MORE) return qc_put(wbuf, wbufsize, c, 1);
  if (bufsize < 2) return seterror(EINVAL);
  c = cs->dbcs[(buf[0] - 0x80) * 256 + buf[1]];
  if (c == QC_INVALID) return seterror(EILSEQ);
  if (c != QC_MORE) return qc_put(wbuf, wbufsize, qc_cell(cs, c), 2);
  if (cs->kind == QC_EUCJP) {
    if (bufsize < 3) return seterror(EINVAL);
    if (buf[2] < 0x80 || cs->triple == NULL) return seterror(EILSEQ);
    c = cs->triple[(buf[1] - 0x80) * 128 + (buf[2] - 0x80)];
    return c == QC_INVALID ? seterror(EILSEQ) : qc_put(wbuf, wbufsize, c, 3);
  }
  if (cs->kind == QC_GB18030) {
    unsigned int linear;
    if (bufsize < 4) return seterror(EINVAL);
    if (buf[2] < 0x81 || buf[2] > 0xFE || buf[3] < 0x30 || buf[3] > 0x39) return seterror(EILSEQ);
    linear = (((unsigned)(buf[0] - 0x81) * 10 + (buf[1] - 0x30)) * 126 + (buf[2] - 0x81)) * 10 +
             (buf[3] - 0x30);
    if (buf[0] <= 0x84 && cs->quad != NULL) {
      c = cs->quad[linear];
      return c == QC_INVALID ? seterror(EILSEQ) : qc_put(wbuf, wbufsize, c, 4);
    }
    if (buf[0] >= 0x90 && buf[0] <= 0xE3) { /* the planes above the BMP, in order */
      c = 0x10000 + linear - (unsigned)(0x90 - 0x81) * 10 * 126 * 10;
      return c > 0x10FFFF ? seterror(EILSEQ) : qc_put(wbuf, wbufsize, c, 4);
    }
  }
  return seterror(EILSEQ);
}

static int qc_table_mbtowc(csconv_t* cv, const uchar* buf, int bufsize, ushort* wbuf,
                           int* wbufsize) {
  return qc_table_read(qc_of(cv), buf, bufsize, wbuf, wbufsize);
}

/* ISO-2022-JP and ISO-2022-KR: 7-bit text that shifts into the two-byte sets of EUC-JP and
 * EUC-KR. The mode is the set shifted into (0 ASCII, 1 JIS-Roman, 2 the two-byte set). */
static int qc_iso2022_mbtowc(csconv_t* cv, const uchar* buf, int bufsize, ushort* wbuf,
                             int* wbufsize) {
  const struct qc_charset* two = qc_of(cv);
  int japanese = ((cv->codepage - QC_BASE) & QC_JAPANESE) != 0;
  uchar pair[2];
  if (!japanese && cv->mode == 2 && buf[0] == 0x1B) {
    if ((bufsize >= 2 && buf[1] != '$') || (bufsize >= 3 && buf[2] != ')') ||
        (bufsize >= 4 && buf[3] != 'C'))
      return seterror(EILSEQ);
    if (bufsize < 4) return seterror(EINVAL);
    *wbufsize = 0;
    return 4;
  }
  if (!japanese && cv->mode == 2 && buf[0] < 0x21 && buf[0] != 0x0E && buf[0] != 0x0F)
    return seterror(bufsize < 2 ? EINVAL : EILSEQ);
  if (buf[0] == 0x1B) { /* an escape sequence of the charset, or an escape as text */
    if (japanese) {
      if (bufsize < 3) return seterror(EINVAL);
      if (buf[1] == '(' && buf[2] == 'B')
        cv->mode = 0;
      else if (buf[1] == '(' && buf[2] == 'J')
        cv->mode = 1;
      else if (buf[1] == '$' && (buf[2] == '@' || buf[2] == 'B'))
        cv->mode = 2;
      else
        return qc_put(wbuf, wbufsize, buf[0], 1);
      *wbufsize = 0;
      return 3;
    }
    if ((bufsize >= 2 && buf[1] != '$') || (bufsize >= 3 && buf[2] != ')') ||
        (bufsize >= 4 && buf[3] != 'C'))
      return qc_put(wbuf, wbufsize, buf[0], 1);
    if (bufsize < 4) return seterror(EINVAL);
    *wbufsize = 0;
    return 4;
  }
  if (buf[0] >= 0x80) return seterror(EILSEQ);
  if (!japanese && (buf[0] == 0x0E || buf[0] == 0x0F)) {
    cv->mode = buf[0] == 0x0E ? 2 : 0;
    *wbufsize = 0;
    return 1;
  }
  if (cv->mode == 2) {
    if (buf[0] < 0x21 || buf[0] > 0x7E) {
      if (!japanese) return seterror(EILSEQ);
      return qc_put(wbuf, wbufsize, buf[0], 1);
    }
    if (bufsize < 2) return seterror(EINVAL);
    if (buf[1] < 0x21 || buf[1] > 0x7E) return seterror(EILSEQ);
    pair[0] = (uchar)(buf[0] | 0x80);
    pair[1] = (uchar)(buf[1] | 0x80);
    if (qc_table_read(two, pair, 2, wbuf, wbufsize) != 2) return seterror(EILSEQ);
    return 2;
  }
  if (cv->mode == 1 && buf[0] == 0x5C) return qc_put(wbuf, wbufsize, 0xA5, 1);
  if (cv->mode == 1 && buf[0] == 0x7E) return qc_put(wbuf, wbufsize, 0x203E, 1);
  return qc_put(wbuf, wbufsize, buf[0], 1);
}

/* UTF-7 (RFC 2152) as glibc reads it, with each fault reported at the byte glibc reports it at.
 * The mode: bit 31 inside a base64 run, bit 30 a high surrogate waiting for
 * its low one, bits 20-29 that surrogate's low ten bits, bits 15-19 the number of bits not yet
 * used, bits 0-14 those bits. */
#define QC_U7_RUN 0x80000000u
#define QC_U7_HIGH 0x40000000u

static int qc_utf7_direct(uchar c) {
  return c == '\t' || c == '\n' || c == '\r' || (c >= ' ' && c <= '}' && c != '+' && c != '\\');
}

static int qc_base64(uchar c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

static int qc_utf7_mbtowc(csconv_t* cv, const uchar* buf, int bufsize, ushort* wbuf,
                          int* wbufsize) {
  DWORD mode = cv->mode;
  unsigned int bits = mode & 0x7FFF;
  int nbits = (int)((mode >> 15) & 31);
  unsigned int high = (mode >> 20) & 0x3FF;
  int v, i;
  if (!(mode & QC_U7_RUN)) {
    if (buf[0] != '+') {
      if (!qc_utf7_direct(buf[0])) return seterror(EILSEQ);
      return qc_put(wbuf, wbufsize, buf[0], 1);
    }
    if (bufsize < 2) return seterror(EINVAL);
    if (buf[1] == '-') return qc_put(wbuf, wbufsize, '+', 2);
    cv->mode = QC_U7_RUN;
    *wbufsize = 0;
    return 1;
  }
  for (i = 0;;) {
    if (i == bufsize) { /* the input ends inside the run: its bits wait for the next piece */
      cv->mode = (mode & (QC_U7_RUN | QC_U7_HIGH | (0x3FFu << 20))) | ((DWORD)nbits << 15) | bits;
      *wbufsize = 0;
      return i;
    }
    v = qc_base64(buf[i]);
    if (v < 0) {
      if (i > 0) { /* up to the byte that ends the run; that byte is looked at next */
        cv->mode = (mode & (QC_U7_RUN | QC_U7_HIGH | (0x3FFu << 20))) | ((DWORD)nbits << 15) | bits;
        *wbufsize = 0;
        return i;
      }
      /* The run ends: what is left of its bits must be padding. */
      if ((mode & QC_U7_HIGH) || nbits >= 6 || bits != 0) return seterror(EILSEQ);
      cv->mode = 0;
      *wbufsize = 0;
      return buf[0] == '-' ? 1 : 0; /* any other byte is read again, as text */
    }
    bits = (bits << 6) | (unsigned)v;
    nbits += 6;
    ++i;
    /* A unit that cannot be the low surrogate waited for is a fault where the unit began. */
    if ((mode & QC_U7_HIGH) && ((bits >> (nbits - 6)) & 0x3F) != 0x37) return seterror(EILSEQ);
    if (nbits >= 16) {
      unsigned int unit = (bits >> (nbits - 16)) & 0xFFFF;
      nbits -= 16;
      bits &= (1u << nbits) - 1;
      *wbufsize = 0;
      if (mode & QC_U7_HIGH) {
        qc_put(wbuf, wbufsize, 0x10000 + (high << 10) + (unit - 0xDC00), i);
        mode &= ~(QC_U7_HIGH | (0x3FFu << 20));
      } else if (unit >= 0xD800 && unit <= 0xDBFF) {
        mode |= QC_U7_HIGH | ((DWORD)(unit - 0xD800) << 20);
      } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        return seterror(EILSEQ);
      } else {
        qc_put(wbuf, wbufsize, unit, i);
      }
      cv->mode = (mode & (QC_U7_RUN | QC_U7_HIGH | (0x3FFu << 20))) | ((DWORD)nbits << 15) | bits;
      return i;
    }
  }
}

static int qc_no_wctomb(csconv_t* cv UNUSED, ushort* wbuf UNUSED, int wbufsize UNUSED,
                        uchar* buf UNUSED, int bufsize UNUSED) {
  return seterror(EILSEQ);
}

/* Sets `cv` up to read `name` from the tables; FALSE when the tables do not have it. */
static int qc_make_csconv(const char* name, csconv_t* cv) {
  int i = qc_find(name);
  int two = -1;
  if (i < 0) {
    if (_stricmp(name, "iso-2022-jp") == 0 || _stricmp(name, "csiso2022jp") == 0)
      two = qc_find("euc-jp"), i = -2;
    else if (_stricmp(name, "iso-2022-kr") == 0 || _stricmp(name, "csiso2022kr") == 0)
      two = qc_find("euc-kr"), i = -3;
    else if (_stricmp(name, "utf-7") == 0 || _stricmp(name, "utf7") == 0)
      i = -4;
    else
      return FALSE;
  }
  cv->mode = 0;
  cv->flags = 0;
  cv->mblen = NULL;
  cv->flush = NULL;
  cv->compat = NULL;
  cv->wctomb = qc_no_wctomb;
  if (i >= 0) {
    cv->codepage = QC_BASE + i;
    cv->mbtowc = qc_table_mbtowc;
  } else if (i == -4) {
    cv->codepage = QC_BASE;
    cv->mbtowc = qc_utf7_mbtowc;
  } else {
    if (two < 0) return FALSE;
    cv->codepage = QC_BASE + two + (i == -2 ? QC_JAPANESE : 0);
    cv->mbtowc = qc_iso2022_mbtowc;
  }
  return TRUE;
}
