/* A stand-in libintl for the Windows build of glib and GMime. glib always links libintl, and
 * Debian has no mingw-w64 gettext; the program shows no translated library messages, so every
 * call hands its message back unchanged. */
#ifndef QC_STANDIN_LIBINTL_H
#define QC_STANDIN_LIBINTL_H

#include <locale.h>

/* GNU gettext gives Windows this category, which its C library lacks. */
#ifndef LC_MESSAGES
#define LC_MESSAGES 1729
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* format_arg lets glib's -Werror=format-nonliteral accept gettext(fmt) as a format. */
#define QC_FORMAT_ARG(n) __attribute__((__format_arg__(n)))

char* gettext(const char* msgid) QC_FORMAT_ARG(1);
char* dgettext(const char* domain, const char* msgid) QC_FORMAT_ARG(2);
char* dcgettext(const char* domain, const char* msgid, int category) QC_FORMAT_ARG(2);
char* ngettext(const char* msgid, const char* plural, unsigned long n) QC_FORMAT_ARG(1)
    QC_FORMAT_ARG(2);
char* dngettext(const char* domain, const char* msgid, const char* plural, unsigned long n)
    QC_FORMAT_ARG(2) QC_FORMAT_ARG(3);
char* dcngettext(const char* domain, const char* msgid, const char* plural, unsigned long n,
                 int category) QC_FORMAT_ARG(2) QC_FORMAT_ARG(3);
char* textdomain(const char* domain);
char* bindtextdomain(const char* domain, const char* dirname);
char* bind_textdomain_codeset(const char* domain, const char* codeset);

#ifdef __cplusplus
}
#endif

#endif
