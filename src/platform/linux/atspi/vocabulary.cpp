#include "platform/linux/atspi/vocabulary.h"

#include <array>
#include <cctype>

#include <atspi/atspi-constants.h>

namespace nuvra::atspi {

namespace {

using V = ValueSource;

constexpr RoleEntry plain(std::string_view role, ValueSource value = V::None) {
    return RoleEntry{role, {}, value, 0, {}};
}

constexpr RoleEntry withSubrole(std::string_view role, std::string_view subrole,
                                ValueSource value = V::None) {
    return RoleEntry{role, subrole, value, 0, {}};
}

constexpr RoleEntry byState(std::string_view role, ValueSource value, AtspiStateType state,
                            std::string_view roleWithState) {
    return RoleEntry{role, {}, value, static_cast<uint32_t>(state), roleWithState};
}

// The whole role enum, one case each, compiled with -Wswitch-enum and no
// default: a role added to AT-SPI does not build until it is placed here.
// Roles without an AX counterpart carry "AX" + their AT-SPI name in upper
// camel case (a test holds them to that rule).
RoleEntry entryFor(AtspiRole role) {
    switch (role) {
        // Windows and the application.
        case ATSPI_ROLE_FRAME: return plain("AXWindow");
        case ATSPI_ROLE_WINDOW: return plain("AXWindow");
        case ATSPI_ROLE_DIALOG: return withSubrole("AXWindow", "AXDialog");
        // A web page's alert carries its words in the Text interface.
        case ATSPI_ROLE_ALERT: return withSubrole("AXWindow", "AXDialog", V::RunningText);
        case ATSPI_ROLE_APPLICATION: return plain("AXApplication");

        // Buttons and choices. Toggle buttons, check boxes and radio buttons
        // carry their checked state as the value, as on macOS.
        case ATSPI_ROLE_PUSH_BUTTON: return plain("AXButton");
        case ATSPI_ROLE_PUSH_BUTTON_MENU: return plain("AXMenuButton");
        case ATSPI_ROLE_TOGGLE_BUTTON: return withSubrole("AXCheckBox", "AXToggle", V::Checked);
        case ATSPI_ROLE_CHECK_BOX: return plain("AXCheckBox", V::Checked);
        case ATSPI_ROLE_RADIO_BUTTON: return plain("AXRadioButton", V::Checked);
        case ATSPI_ROLE_COMBO_BOX:
            return byState("AXPopUpButton", V::RunningText, ATSPI_STATE_EDITABLE, "AXComboBox");
        case ATSPI_ROLE_LINK: return plain("AXLink", V::RunningText);

        // Text. A label's text is its value, not its title: a changing
        // counter or status line must not change the state hash, which
        // covers titles but not values. Password text is never read. The
        // roles of running text (paragraphs, headings, cells, links: web
        // pages hold their words there) carry it in the Text interface, and
        // so do the web's regions of words: status, alert, landmark, footer,
        // the document's own loose text, an address bar's combo box.
        case ATSPI_ROLE_LABEL: return plain("AXStaticText", V::Name);
        case ATSPI_ROLE_STATIC: return plain("AXStaticText", V::Name);
        case ATSPI_ROLE_TEXT:
            return byState("AXTextField", V::TextContents, ATSPI_STATE_MULTI_LINE, "AXTextArea");
        case ATSPI_ROLE_ENTRY: return plain("AXTextField", V::TextContents);
        case ATSPI_ROLE_EDITBAR: return plain("AXTextField", V::TextContents);
        case ATSPI_ROLE_PASSWORD_TEXT:
            return withSubrole("AXTextField", "AXSecureTextField", V::Secret);
        case ATSPI_ROLE_HEADING: return plain("AXHeading", V::RunningText);

        // Menus. Check and radio menu items are menu items with a mark.
        case ATSPI_ROLE_MENU_BAR: return plain("AXMenuBar");
        case ATSPI_ROLE_MENU: return plain("AXMenu");
        case ATSPI_ROLE_POPUP_MENU: return plain("AXMenu");
        case ATSPI_ROLE_MENU_ITEM: return plain("AXMenuItem");
        case ATSPI_ROLE_CHECK_MENU_ITEM: return plain("AXMenuItem", V::Checked);
        case ATSPI_ROLE_RADIO_MENU_ITEM: return plain("AXMenuItem", V::Checked);

        // Collections.
        case ATSPI_ROLE_LIST: return plain("AXList");
        case ATSPI_ROLE_LIST_BOX: return plain("AXList");
        case ATSPI_ROLE_LIST_ITEM: return plain("AXCell", V::RunningText);
        case ATSPI_ROLE_TABLE: return plain("AXTable");
        case ATSPI_ROLE_TREE: return plain("AXOutline");
        case ATSPI_ROLE_TREE_TABLE: return plain("AXOutline");
        case ATSPI_ROLE_TABLE_ROW: return plain("AXRow");
        case ATSPI_ROLE_TREE_ITEM: return plain("AXRow");
        case ATSPI_ROLE_TABLE_CELL: return plain("AXCell", V::RunningText);

        // Ranges: the Value interface's current value.
        case ATSPI_ROLE_SCROLL_BAR: return plain("AXScrollBar", V::Number);
        case ATSPI_ROLE_SLIDER: return plain("AXSlider", V::Number);
        case ATSPI_ROLE_SPIN_BUTTON: return plain("AXIncrementor", V::Number);
        case ATSPI_ROLE_PROGRESS_BAR: return plain("AXProgressIndicator", V::Number);
        case ATSPI_ROLE_LEVEL_BAR: return plain("AXLevelIndicator", V::Number);
        case ATSPI_ROLE_DIAL: return plain("AXDial", V::Number);

        // Containers.
        case ATSPI_ROLE_SCROLL_PANE: return plain("AXScrollArea");
        case ATSPI_ROLE_FILLER: return plain("AXGroup");
        case ATSPI_ROLE_PANEL: return plain("AXGroup");
        case ATSPI_ROLE_GROUPING: return plain("AXGroup");
        case ATSPI_ROLE_SECTION: return plain("AXGroup", V::RunningText);
        case ATSPI_ROLE_SPLIT_PANE: return plain("AXSplitGroup");
        case ATSPI_ROLE_TOOL_BAR: return plain("AXToolbar");
        case ATSPI_ROLE_PAGE_TAB_LIST: return plain("AXTabGroup");
        case ATSPI_ROLE_PAGE_TAB: return withSubrole("AXRadioButton", "AXTabButton");
        case ATSPI_ROLE_IMAGE: return plain("AXImage");

        // Nothing known about the element.
        case ATSPI_ROLE_INVALID: return plain("AXUnknown");
        case ATSPI_ROLE_UNKNOWN: return plain("AXUnknown");

        // No AX counterpart: "AX" + the AT-SPI role name.
        case ATSPI_ROLE_ACCELERATOR_LABEL: return plain("AXAcceleratorLabel");
        case ATSPI_ROLE_ANIMATION: return plain("AXAnimation");
        case ATSPI_ROLE_ARROW: return plain("AXArrow");
        case ATSPI_ROLE_CALENDAR: return plain("AXCalendar");
        case ATSPI_ROLE_CANVAS: return plain("AXCanvas");
        case ATSPI_ROLE_COLOR_CHOOSER: return plain("AXColorChooser");
        case ATSPI_ROLE_COLUMN_HEADER: return plain("AXColumnHeader", V::RunningText);
        case ATSPI_ROLE_DATE_EDITOR: return plain("AXDateEditor");
        case ATSPI_ROLE_DESKTOP_ICON: return plain("AXDesktopIcon");
        case ATSPI_ROLE_DESKTOP_FRAME: return plain("AXDesktopFrame");
        case ATSPI_ROLE_DIRECTORY_PANE: return plain("AXDirectoryPane");
        case ATSPI_ROLE_DRAWING_AREA: return plain("AXDrawingArea");
        case ATSPI_ROLE_FILE_CHOOSER: return plain("AXFileChooser");
        case ATSPI_ROLE_FOCUS_TRAVERSABLE: return plain("AXFocusTraversable");
        case ATSPI_ROLE_FONT_CHOOSER: return plain("AXFontChooser");
        case ATSPI_ROLE_GLASS_PANE: return plain("AXGlassPane");
        case ATSPI_ROLE_HTML_CONTAINER: return plain("AXHtmlContainer");
        case ATSPI_ROLE_ICON: return plain("AXIcon");
        case ATSPI_ROLE_INTERNAL_FRAME: return plain("AXInternalFrame");
        case ATSPI_ROLE_LAYERED_PANE: return plain("AXLayeredPane");
        case ATSPI_ROLE_OPTION_PANE: return plain("AXOptionPane");
        case ATSPI_ROLE_ROOT_PANE: return plain("AXRootPane");
        case ATSPI_ROLE_ROW_HEADER: return plain("AXRowHeader", V::RunningText);
        case ATSPI_ROLE_SEPARATOR: return plain("AXSeparator");
        case ATSPI_ROLE_STATUS_BAR: return plain("AXStatusBar", V::RunningText);
        case ATSPI_ROLE_TABLE_COLUMN_HEADER: return plain("AXTableColumnHeader");
        case ATSPI_ROLE_TABLE_ROW_HEADER: return plain("AXTableRowHeader");
        case ATSPI_ROLE_TEAROFF_MENU_ITEM: return plain("AXTearoffMenuItem");
        case ATSPI_ROLE_TERMINAL: return plain("AXTerminal");
        case ATSPI_ROLE_TOOL_TIP: return plain("AXToolTip", V::RunningText);
        case ATSPI_ROLE_VIEWPORT: return plain("AXViewport");
        case ATSPI_ROLE_EXTENDED: return plain("AXExtended");
        case ATSPI_ROLE_HEADER: return plain("AXHeader", V::RunningText);
        case ATSPI_ROLE_FOOTER: return plain("AXFooter", V::RunningText);
        case ATSPI_ROLE_PARAGRAPH: return plain("AXParagraph", V::RunningText);
        case ATSPI_ROLE_RULER: return plain("AXRuler");
        case ATSPI_ROLE_AUTOCOMPLETE: return plain("AXAutocomplete");
        case ATSPI_ROLE_EMBEDDED: return plain("AXEmbedded");
        case ATSPI_ROLE_CHART: return plain("AXChart");
        case ATSPI_ROLE_CAPTION: return plain("AXCaption", V::RunningText);
        case ATSPI_ROLE_DOCUMENT_FRAME: return plain("AXDocumentFrame", V::RunningText);
        case ATSPI_ROLE_PAGE: return plain("AXPage");
        case ATSPI_ROLE_REDUNDANT_OBJECT: return plain("AXRedundantObject");
        case ATSPI_ROLE_FORM: return plain("AXForm", V::RunningText);
        case ATSPI_ROLE_INPUT_METHOD_WINDOW: return plain("AXInputMethodWindow");
        case ATSPI_ROLE_DOCUMENT_SPREADSHEET: return plain("AXDocumentSpreadsheet");
        case ATSPI_ROLE_DOCUMENT_PRESENTATION: return plain("AXDocumentPresentation");
        case ATSPI_ROLE_DOCUMENT_TEXT: return plain("AXDocumentText", V::RunningText);
        case ATSPI_ROLE_DOCUMENT_WEB: return plain("AXDocumentWeb", V::RunningText);
        case ATSPI_ROLE_DOCUMENT_EMAIL: return plain("AXDocumentEmail");
        case ATSPI_ROLE_COMMENT: return plain("AXComment", V::RunningText);
        case ATSPI_ROLE_IMAGE_MAP: return plain("AXImageMap");
        case ATSPI_ROLE_NOTIFICATION: return plain("AXNotification", V::RunningText);
        case ATSPI_ROLE_INFO_BAR: return plain("AXInfoBar", V::RunningText);
        case ATSPI_ROLE_TITLE_BAR: return plain("AXTitleBar");
        case ATSPI_ROLE_BLOCK_QUOTE: return plain("AXBlockQuote", V::RunningText);
        case ATSPI_ROLE_AUDIO: return plain("AXAudio");
        case ATSPI_ROLE_VIDEO: return plain("AXVideo");
        case ATSPI_ROLE_DEFINITION: return plain("AXDefinition", V::RunningText);
        case ATSPI_ROLE_ARTICLE: return plain("AXArticle", V::RunningText);
        case ATSPI_ROLE_LANDMARK: return plain("AXLandmark", V::RunningText);
        case ATSPI_ROLE_LOG: return plain("AXLog", V::RunningText);
        case ATSPI_ROLE_MARQUEE: return plain("AXMarquee", V::RunningText);
        case ATSPI_ROLE_MATH: return plain("AXMath");
        case ATSPI_ROLE_RATING: return plain("AXRating");
        case ATSPI_ROLE_TIMER: return plain("AXTimer", V::RunningText);
        case ATSPI_ROLE_MATH_FRACTION: return plain("AXMathFraction");
        case ATSPI_ROLE_MATH_ROOT: return plain("AXMathRoot");
        case ATSPI_ROLE_SUBSCRIPT: return plain("AXSubscript", V::RunningText);
        case ATSPI_ROLE_SUPERSCRIPT: return plain("AXSuperscript", V::RunningText);
        case ATSPI_ROLE_DESCRIPTION_LIST: return plain("AXDescriptionList");
        case ATSPI_ROLE_DESCRIPTION_TERM: return plain("AXDescriptionTerm", V::RunningText);
        case ATSPI_ROLE_DESCRIPTION_VALUE: return plain("AXDescriptionValue", V::RunningText);
        case ATSPI_ROLE_FOOTNOTE: return plain("AXFootnote", V::RunningText);
        case ATSPI_ROLE_CONTENT_DELETION: return plain("AXContentDeletion", V::RunningText);
        case ATSPI_ROLE_CONTENT_INSERTION: return plain("AXContentInsertion", V::RunningText);
        case ATSPI_ROLE_MARK: return plain("AXMark", V::RunningText);
        case ATSPI_ROLE_SUGGESTION: return plain("AXSuggestion", V::RunningText);

        // Not a role: the count of roles.
        case ATSPI_ROLE_LAST_DEFINED: return plain("AXUnknown");
    }
    return plain("AXUnknown");
}

constexpr std::array<std::pair<std::string_view, AxAttribute>, 16> kAttributes{{
    {"AXRole", AxAttribute::Role},
    {"AXSubrole", AxAttribute::Subrole},
    {"AXTitle", AxAttribute::Title},
    {"AXDescription", AxAttribute::Description},
    {"AXValue", AxAttribute::Value},
    {"AXEnabled", AxAttribute::Enabled},
    {"AXFocused", AxAttribute::Focused},
    {"AXPosition", AxAttribute::Position},
    {"AXSize", AxAttribute::Size},
    {"AXChildren", AxAttribute::Children},
    {"AXVisibleChildren", AxAttribute::VisibleChildren},
    {"AXNumberOfCharacters", AxAttribute::NumberOfCharacters},
    {"AXWindows", AxAttribute::Windows},
    {"AXModal", AxAttribute::Modal},
    {"AXFocusedWindow", AxAttribute::FocusedWindow},
    {"AXMainWindow", AxAttribute::MainWindow},
}};

// Every name a toolkit gives the press of an element, as measured on each
// (compared without regard to case: Qt capitalises). Not a press: Gecko's
// and Chromium's "clickAncestor" (the element has no action of its own; a
// click goes to whichever ancestor listens, which on a page that listens at
// its root is every element), GTK 4's names of its GActions ("menu.popup",
// "clipboard.copy"), Qt's "SetFocus", "Increase", "Decrease", Chromium's
// "showContextMenu", LibreOffice's "incrementLine" and the like.
struct PressName {
    std::string_view name;
    std::string_view offeredBy;
};
constexpr std::array<PressName, 16> kPressNames{{
    {"click", "GTK 3 and 4 buttons, check boxes and menus; Gecko, Chromium, LibreOffice"},
    {"press", "GTK 3 combo boxes; Qt (\"Press\"); Gecko and Chromium buttons; LibreOffice"},
    {"activate", "GTK 3 and 4 entries, expanders, toggles; Gecko and Chromium entries"},
    {"jump", "links: GTK 3, Gecko, Chromium"},
    {"toggle", "GTK 3 toggle buttons, GTK 4 switches, Qt check boxes (\"Toggle\")"},
    {"showmenu", "Qt menus in a menu bar, combo boxes (\"ShowMenu\")"},
    {"check", "Gecko and Chromium check boxes, toggle buttons, Chromium radio buttons"},
    {"uncheck", "the same, checked"},
    {"cycle", "Gecko check boxes in the mixed state"},
    {"select", "Gecko and Chromium radio buttons, options, list and menu items"},
    {"open", "Gecko and Chromium select elements, Chromium menu buttons"},
    {"close", "the same, open"},
    {"expand", "Gecko buttons that open a popup"},
    {"collapse", "the same, open"},
    {"switch", "Gecko tabs"},
    {"dodefault", "Chromium: the default action of its tabs, menu items and the rest"},
}};

bool equalsAsciiNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

bool StateSet::enabled() const {
    return has(ATSPI_STATE_ENABLED) || has(ATSPI_STATE_SENSITIVE);
}

std::optional<RoleEntry> roleEntry(uint32_t atspiRole) {
    if (atspiRole >= static_cast<uint32_t>(ATSPI_ROLE_LAST_DEFINED)) return std::nullopt;
    return entryFor(static_cast<AtspiRole>(atspiRole));
}

bool runsInline(uint32_t atspiRole) {
    switch (atspiRole) {
        case ATSPI_ROLE_STATIC:
        case ATSPI_ROLE_LABEL:
        case ATSPI_ROLE_LINK:
        case ATSPI_ROLE_MARK:
        case ATSPI_ROLE_SUBSCRIPT:
        case ATSPI_ROLE_SUPERSCRIPT:
        case ATSPI_ROLE_CONTENT_DELETION:
        case ATSPI_ROLE_CONTENT_INSERTION:
        case ATSPI_ROLE_SUGGESTION:
            return true;
        default:
            return false;
    }
}

std::string axRoleFromAtspiName(std::string_view atspiName) {
    std::string out = "AX";
    bool startOfWord = true;
    // Letters and digits only: the name is the application's, and is
    // printed unquoted. Anything else separates words.
    for (char c : atspiName) {
        auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || !std::isalnum(u)) {
            startOfWord = true;
            continue;
        }
        out += static_cast<char>(startOfWord ? std::toupper(u) : std::tolower(u));
        startOfWord = false;
    }
    return out;
}

std::optional<AxAttribute> axAttribute(std::string_view name) {
    for (const auto& [axName, attribute] : kAttributes)
        if (axName == name) return attribute;
    return std::nullopt;
}

std::vector<std::pair<std::string, int>> axActions(
    const std::vector<std::optional<std::string>>& atspiNames) {
    std::vector<std::pair<std::string, int>> out;
    bool pressTaken = false;
    for (size_t i = 0; i < atspiNames.size(); ++i) {
        if (!atspiNames[i]) continue;
        const std::string& name = *atspiNames[i];
        // LibreOffice's menus in a menu bar offer one action, unnamed, which
        // opens them; a name too long to read is no such action.
        bool pressLike = name.empty() && atspiNames.size() == 1;
        for (const auto& press : kPressNames) pressLike = pressLike || equalsAsciiNoCase(name, press.name);
        std::string axName;
        if (pressLike && !pressTaken) {
            axName = "AXPress";
            pressTaken = true;
        } else {
            axName = axRoleFromAtspiName(name);
        }
        if (axName == "AX") continue;
        bool repeated = false;
        for (const auto& [earlier, index] : out) repeated = repeated || earlier == axName;
        if (!repeated) out.emplace_back(std::move(axName), static_cast<int>(i));
    }
    return out;
}

}  // namespace nuvra::atspi
