#include "message_icon.h"

#include <algorithm>
#include <iterator>

#include "screen_capture.h"

namespace {

// The box's icon control: the static control with the SS_ICON style.
struct IconSearch {
    HWND parent;
    HWND found;
};

BOOL CALLBACK FindIconControl(HWND child, LPARAM context) {
    auto* search = reinterpret_cast<IconSearch*>(context);
    wchar_t className[16] = {};
    GetClassNameW(child, className, static_cast<int>(std::size(className)));
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    if (GetParent(child) == search->parent && lstrcmpiW(className, L"Static") == 0 &&
        (style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child)) {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

enum class Hue { Grey, Red, Amber, Other };

// Grey for the background, black outlines, white glyphs and the shading
// between them; a hue only for clearly coloured pixels.
Hue HueOf(int red, int green, int blue) {
    const int high = std::max({red, green, blue});
    const int low = std::min({red, green, blue});
    if (high < 120 || high - low < 80) {
        return Hue::Grey;
    }
    if (red != high) {
        return Hue::Other;
    }
    // Red is the largest: the hue lies between magenta (-60) and yellow (60)
    // degrees; green - blue, against the spread, tells where.
    const double degrees = 60.0 * (green - blue) / (high - low);
    if (degrees >= -15 && degrees < 15) {
        return Hue::Red;
    }
    if (degrees >= 15 && degrees <= 70) {
        return Hue::Amber;
    }
    return Hue::Other;
}

// Fewer coloured pixels than this are stray ones, not an icon (a 32 x 32
// icon has hundreds).
constexpr int kIconPixels = 40;

}  // namespace

std::string MessageIconKind(HWND messageBox) {
    IconSearch search{messageBox, nullptr};
    EnumChildWindows(messageBox, FindIconControl, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        return "none";
    }
    RECT area{};
    GetWindowRect(search.found, &area);
    const ScreenPicture picture = CaptureScreen(area);
    if (picture.pixels.empty()) {
        return "none";
    }
    int red = 0;
    int amber = 0;
    int other = 0;
    for (int y = 0; y < picture.Height(); ++y) {
        for (int x = 0; x < picture.Width(); ++x) {
            int r = 0;
            int g = 0;
            int b = 0;
            picture.ColourAt(x, y, r, g, b);
            switch (HueOf(r, g, b)) {
                case Hue::Red:
                    ++red;
                    break;
                case Hue::Amber:
                    ++amber;
                    break;
                case Hue::Other:
                    ++other;
                    break;
                case Hue::Grey:
                    break;
            }
        }
    }
    if (red + amber + other < kIconPixels) {
        return "none";
    }
    if (amber >= red && amber >= other) {
        return "exclamation";
    }
    return red >= other ? "stop" : "other";
}
