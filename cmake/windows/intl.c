/* The stand-in libintl (see libintl.h): no catalogue, so each message is its own translation. */
#include "libintl.h"

char* gettext(const char* msgid) {
  return (char*)msgid;
}

char* dgettext(const char* domain, const char* msgid) {
  (void)domain;
  return (char*)msgid;
}

char* dcgettext(const char* domain, const char* msgid, int category) {
  (void)domain;
  (void)category;
  return (char*)msgid;
}

char* ngettext(const char* msgid, const char* plural, unsigned long n) {
  return (char*)(n == 1 ? msgid : plural);
}

char* dngettext(const char* domain, const char* msgid, const char* plural, unsigned long n) {
  (void)domain;
  return ngettext(msgid, plural, n);
}

char* dcngettext(const char* domain, const char* msgid, const char* plural, unsigned long n,
                 int category) {
  (void)domain;
  (void)category;
  return ngettext(msgid, plural, n);
}

/* glib asks for the domain back and compares it; returning the argument keeps that sane. */
char* textdomain(const char* domain) {
  return (char*)(domain ? domain : "messages");
}

char* bindtextdomain(const char* domain, const char* dirname) {
  (void)domain;
  return (char*)dirname;
}

char* bind_textdomain_codeset(const char* domain, const char* codeset) {
  (void)domain;
  return (char*)codeset;
}
