/* iconv for the Windows build of GMime. There is no mingw-w64 libiconv in Debian; glib's static
 * library carries its own converter (glib/win_iconv.c, through Windows code pages) and exports
 * these three functions, so GMime only needs them declared as that file defines them. The set
 * of character sets it knows is Windows', not glibc's. */
#ifndef QC_STANDIN_ICONV_H
#define QC_STANDIN_ICONV_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void* iconv_t;

iconv_t iconv_open(const char* tocode, const char* fromcode);
int iconv_close(iconv_t cd);
size_t iconv(iconv_t cd, char** inbuf, size_t* inbytesleft, char** outbuf, size_t* outbytesleft);

#ifdef __cplusplus
}
#endif

#endif
