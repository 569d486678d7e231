// The process-wide locale choices the suite depends on.
#ifndef VOLTMON_COMMON_LOCALE_H_
#define VOLTMON_COMMON_LOCALE_H_

// Sets LC_NUMERIC to "C", so that numbers are read and written with "." as
// their decimal mark whatever locale a screen library switches to, and loads
// the time zone for the suite's date and time texts ("dd/MM/yyyy",
// "hh:mm:ss"). Call once at start.
void SetTextFormats();

#endif  // VOLTMON_COMMON_LOCALE_H_
