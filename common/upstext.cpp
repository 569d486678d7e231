// The UPS fault texts and the message macro names. The programs of the suite
// carry them so that all are built against one vocabulary; the master server
// is the one that indexes and expands them.
#include "common/upstext.h"

namespace {

// Indices 0..15 are the four fault flags as bits of the index (Inverter,
// P.F.C., Booster, Overheat from the lowest bit); 16 and 17 are two further
// codes outside that pattern, stored as the master server reports them.
const char* const kFaultTexts[kFaultTextCount] = {
    "Unknown or None",
    "Inverter",
    "P.F.C.",
    "Inverter & P.F.C.",
    "Booster",
    "Inverter & Booster",
    "P.F.C. & Booster",
    "Inverter & P.F.C. & Booster",
    "Overheat",
    "Inverter & Overheat",
    "P.F.C. & Overheat",
    "Inverter & P.F.C. & Overheat",
    "Booster & Overheat",
    "Inverter & Booster & Overheat",
    "P.F.C. & Booster & Overheat",
    "Inverter & P.F.C. & Booster & Overheat",
    "Battery charger",
    "Overheat & Battery charger",
};

const char* const kMessageMacros[kMessageMacroCount] = {
    "#COMPUTER#", "#LOCATION#",   "#UPSNAME#",     "#COMMDEVICE#",
    "#TIMELEFT#", "#LISTENPORT#", "#DOWNWARNING#",
};

}  // namespace

const char* FaultText(int index) {
  if (index < 0 || index >= kFaultTextCount) return nullptr;
  return kFaultTexts[index];
}

const char* MessageMacro(int index) {
  if (index < 0 || index >= kMessageMacroCount) return nullptr;
  return kMessageMacros[index];
}
