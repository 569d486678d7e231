// The locale and time zone set once at the start of every program.
#include "common/locale.h"

#include <locale.h>
#include <time.h>

void SetTextFormats() {
  // Numbers always use "." for decimals, even when a screen library has
  // switched the rest of the locale to the user's.
  setlocale(LC_NUMERIC, "C");
  // localtime_r need not load the time zone itself.
  tzset();
}
