#pragma once

#ifndef Q_MOC_RUN
#include "app/ProgramVariables.h"
#include "app/ini/SettingsValues.h"
#endif

class QWidget;

namespace flowloom::app {

// Puts loaded settings into the controls that hold them (found by object name
// under `root`) and the program variables, and reads them back for saving.
// Controls change as a user's change would, so their change reactions run;
// tool-bar toggles and list selections are set without reaction.
class SettingsBinder
{
public:
    static void apply(QWidget& root, const SettingsValues& values, ProgramVariables& variables);
    static SettingsValues collect(const QWidget& root, const ProgramVariables& variables,
                                  const RuntimeDefaults& runtime);
};

} // namespace flowloom::app
