// What the main menu's form screens offer beyond their entry points: the
// restart delay rules of the shutdown screen for models whose restart delay
// is tied to the switch-off delay or offered in steps, and the data
// selection of the Log & Data screen.
#ifndef VOLTMON_WKCFG_UI_CONFIG_SCREENS_H_
#define VOLTMON_WKCFG_UI_CONFIG_SCREENS_H_

#include "common/text.h"
#include "wkcfg/model/setup.h"
#include "wkcfg/model/upsdb.h"

// The smallest restart delay a restart mode 3 model accepts: five seconds
// after the switch-off, and not below the model's minimum.
int RestartDelayLowerLimit(const TUpsCapabilities& caps, const TUpsSetup& ups);

// Restart mode 3 only: UpsOnDelay raised to the lower limit and lowered to
// the model's maximum (the maximum wins when they cross).
void ApplyRestartDelayRule(const TUpsCapabilities& caps, TUpsSetup* ups);

// The model's restart delays from its minimum to its maximum in its steps,
// as decimal texts; empty when the minimum lies above the maximum or the
// model has no step.
TTextList RestartDelaySteps(const TUpsCapabilities& caps);

// The Log & Data screen's sub-screen choosing the measures to record; a
// measure the selected model cannot deliver is shown read-only.
void DataSelectionScreen();

#endif  // VOLTMON_WKCFG_UI_CONFIG_SCREENS_H_
