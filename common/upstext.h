// The fixed vocabulary of UPS fault texts and message macro names.
#ifndef VOLTMON_COMMON_UPSTEXT_H_
#define VOLTMON_COMMON_UPSTEXT_H_

constexpr int kFaultTextCount = 18;
constexpr int kMessageMacroCount = 7;

// The fault text of `index` (0..17); nullptr outside the bounds.
const char* FaultText(int index);

// The macro name of `index` (0..6), such as "#COMPUTER#"; nullptr outside.
const char* MessageMacro(int index);

#endif  // VOLTMON_COMMON_UPSTEXT_H_
