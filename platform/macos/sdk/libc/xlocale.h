// What libc++ needs of Darwin's <xlocale.h> when its headers, taking Apple's
// branch, stand on glibc's for the check: the ctype masks and the _l
// functions libc++'s templates name. Only for platform/macos/check.sh.
#pragma once
#include <locale.h>
#include <stdlib.h>
#include <wchar.h>
#define _CTYPE_A 0x00000100L
#define _CTYPE_C 0x00000200L
#define _CTYPE_D 0x00000400L
#define _CTYPE_L 0x00001000L
#define _CTYPE_P 0x00002000L
#define _CTYPE_S 0x00004000L
#define _CTYPE_U 0x00008000L
#define _CTYPE_X 0x00010000L
#define _CTYPE_B 0x00020000L
#define _CTYPE_R 0x00040000L
#include <ctype.h>
#include <stdio.h>
#undef isdigit_l
#undef isxdigit_l
#ifdef __cplusplus
extern "C" {
#endif
int isdigit_l(int, locale_t);
int isxdigit_l(int, locale_t);
int sscanf_l(const char*, locale_t, const char*, ...);
int snprintf_l(char*, size_t, locale_t, const char*, ...);
int asprintf_l(char**, locale_t, const char*, ...);
size_t __mb_cur_max_l(locale_t);
#define MB_CUR_MAX_L(l) __mb_cur_max_l(l)
wint_t btowc_l(int, locale_t);
int wctob_l(wint_t, locale_t);
size_t wcsnrtombs_l(char*, const wchar_t**, size_t, size_t, mbstate_t*, locale_t);
size_t wcrtomb_l(char*, wchar_t, mbstate_t*, locale_t);
size_t mbsnrtowcs_l(wchar_t*, const char**, size_t, size_t, mbstate_t*, locale_t);
size_t mbrtowc_l(wchar_t*, const char*, size_t, mbstate_t*, locale_t);
int mbtowc_l(wchar_t*, const char*, size_t, locale_t);
size_t mbrlen_l(const char*, size_t, mbstate_t*, locale_t);
struct lconv* localeconv_l(locale_t);
size_t mbsrtowcs_l(wchar_t*, const char**, size_t, mbstate_t*, locale_t);
#ifdef __cplusplus
}
#endif
