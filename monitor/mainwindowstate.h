#pragma once
// What the main window is doing, as data: code and tests ask it, showState() shows it.
#include "monitor/display/zoom.h"
#include "monitor/hubstate.h"

namespace hub {

struct MainWindowState {
    enum class Language { English, Italian }; // "INT", "ITA"
    enum class Mode { Idle, Acquiring, Viewer };
    enum class SettingsKind { None, SW, TC }; // the block received last
    enum class StopAnswer { No, Yes, Closed }; // "NO", "SI", "KO" (closed counts as yes)

    Language language = Language::English;
    // Viewer: the process was started to show one recording; it never acquires.
    Mode mode = Mode::Idle;
    ZoomSelector zoom = ZoomSelector::full();
    // The recording in use: the file being written, or the file loaded; empty when none.
    QString recording;
    SettingsKind settings = SettingsKind::None;
    StopAnswer stop = StopAnswer::No;
    // A viewer loads its file on its first paint after each show, once.
    bool viewerLoadPending = false;

    bool italian() const { return language == Language::Italian; }
    bool acquiring() const { return mode == Mode::Acquiring; }
    bool viewer() const { return mode == Mode::Viewer; }
};

// The kind of the block the decoders left in hub (a replay decodes straight
// onto it): the display reset puts back "HUB", each decoder its own caption.
inline MainWindowState::SettingsKind settingsKindOf(const HubState& hub) {
    using Kind = MainWindowState::SettingsKind;
    return hub.versHub == QLatin1String("HUB") ? Kind::None : isSwHub(hub.hubKind) ? Kind::SW : Kind::TC;
}

} // namespace hub
