#pragma once
// What a user would see wrong in a laid-out window: controls that poke out of it, and texts cut
// off in their controls. Each finding is one line naming the control, for a test's message.

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// Every visible window below `frame` (page controls included) that lies partly outside the
// frame's client area.
std::vector<std::string> ControlsOutside(HWND frame);

// Every visible control below `frame` whose text, in the control's own font and wrapped as the
// control wraps it, needs more room than the control has: static texts (word-wrapped unless
// they are single-line ones), push buttons (one line, inside their edges) and the items of
// drop-down lists. `alsoShows` adds texts a control shows at other moments (the status line's
// failure texts, say), by control id.
std::vector<std::string> TextsCut(HWND frame, const std::map<int, std::vector<std::wstring>>& alsoShows = {});

// The design client size of the wizard's frame measured as the tests measure it: 249 x 225
// dialog units of Verdana at 12 pixels (9 points at 96 dots per inch).
SIZE FrameDesignClientSize();

// Sets the wizard's density for the life of the object and restores the old one.
class DensityOverride {
public:
    explicit DensityOverride(int dotsPerInch);
    ~DensityOverride();
    DensityOverride(const DensityOverride&) = delete;
    DensityOverride& operator=(const DensityOverride&) = delete;

private:
    int old_;
};
