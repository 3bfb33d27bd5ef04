#include "monitor/mainwindowstate.h"

namespace hub {

MainWindowState::SettingsKind settingsKindOf(const HubState& hub) {
    // The display reset puts back "HUB"; each decoder writes its own caption.
    if (hub.versHub == QLatin1String("HUB")) return MainWindowState::SettingsKind::None;
    return isSwHub(hub.hubKind) ? MainWindowState::SettingsKind::SW : MainWindowState::SettingsKind::TC;
}

} // namespace hub
