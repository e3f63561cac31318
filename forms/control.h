// Forms and controls with the properties and methods the program uses. The
// model lives here; a backend's FormNative mirrors it on screen and reports
// what the user did back through the Native* entry points and Form::Raise.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/picture.h"
#include "forms/platform.h"
#include "forms/surface.h"
#include "forms/types.h"

namespace forms {

class Form;

class Menu;

enum class ControlKind { kPictureBox, kTextBox, kLabel, kImage, kWebBrowser, kCommandButton };

// What assistive technology is told a control is. kNone keeps it out of
// the accessible tree: skin holders, and containers that only lay out.
enum class AccRole {
  kNone,
  kGroup,        // a named set of controls (the categories)
  kPushButton,
  kRadioButton,  // one of a group, of which one is checked
  kEntry,
  kLink,
  kStaticText,
  kImage,
  kPageArea,     // the region holding the browser's document
};

enum class EventKind {
  kClick,
  kDblClick,
  kMouseDown,
  kMouseMove,
  kMouseUp,
  kKeyPress,
  kLostFocus,
  kLinkExecute,
  kDownloadBegin,
  kDownloadComplete,
  kContextMenu,
  kKeyDown,
  kNavigateError,
};

// Why a top-level navigation of the browser failed. Cancelled loads (a new
// navigation replacing one in progress, Stop, a response handed elsewhere)
// are reported too, so the handler can tell them from real failures.
enum class NavigateFailure {
  kCancelled,
  kHttpStatus,  // the site answered with an error status
  kCannotConnect,
  kNameNotResolved,
  kTimedOut,
  kConnectionLost,
  kPageStopped,  // the engine's process for the page ended, again soon after a reload
  kOther,
};

// Virtual key codes (the Windows VK_ values) and shift states of key events.
inline constexpr int kVkBack = 8;
inline constexpr int kVkTab = 9;
inline constexpr int kVkReturn = 13;
inline constexpr int kVkEscape = 27;
inline constexpr int kVkSpace = 32;
inline constexpr int kVkLeft = 37;
inline constexpr int kVkUp = 38;
inline constexpr int kVkRight = 39;
inline constexpr int kVkDown = 40;
inline constexpr int kVkF1 = 112;  // F1..F24 follow in order
inline constexpr int kVkF5 = 116;
inline constexpr int kVkF10 = 121;
inline constexpr int kVkApps = 93;  // the Menu key
inline constexpr int kShiftMask = 1;
inline constexpr int kCtrlMask = 2;
inline constexpr int kAltMask = 4;

inline constexpr int kLeftButton = 1;
inline constexpr int kRightButton = 2;
inline constexpr int kMiddleButton = 4;

struct Event {
  EventKind kind = EventKind::kClick;
  Control* source = nullptr;  // null: the form's own surface
  int button = 0;             // mouse events: buttons held (1 left, 2 right, 4 middle)
  int shift = 0;
  int x = 0;                  // mouse events: pixels relative to the source
  int y = 0;
  int* keyAscii = nullptr;    // key press: the handler may change or swallow (0) the key
  std::string_view text{};    // link execute: the command, never to be interpreted
  int* cancel = nullptr;      // link execute: 0 accepts the command
  const Menu* menu = nullptr; // click of a menu item (source null)
  DocumentHandle document = nullptr;  // document events: the document raising it
  bool* result = nullptr;     // context menu: false keeps the engine's own menu away
  int* keyCode = nullptr;     // key down: a virtual key (VK_*); 0 from the handler swallows it
  // Navigate error: the address is in `text`; the HTTP status for kHttpStatus.
  NavigateFailure failure = NavigateFailure::kOther;
  int status = 0;
};

// Characters (code points) in UTF-8 text, as a text box counts them.
int CharCount(std::string_view utf8);

class Control {
 public:
  Control(Form& form, ControlKind kind, std::string name, int index, Control* container);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  ~Control();

  Form& Owner() const { return *form_; }
  ControlKind Kind() const { return kind_; }
  const std::string& Name() const { return name_; }
  int Index() const { return index_; }  // -1 outside a control array
  Control* Container() const { return container_; }

  int Left() const { return rect_.left; }
  int Top() const { return rect_.top; }
  int Width() const { return rect_.width; }
  int Height() const { return rect_.height; }
  Rect Bounds() const { return rect_; }
  int ScaleWidth() const { return rect_.width; }
  int ScaleHeight() const { return rect_.height; }
  // Omitted sizes stay as they are; negative sizes are clamped to 0.
  void Move(int left, int top, std::optional<int> width = {}, std::optional<int> height = {});

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);

  ColorSetting BackColor() const { return backColor_; }
  ColorSetting ForeColor() const { return foreColor_; }
  void SetForeColor(ColorSetting color);
  MousePointer Pointer() const { return pointer_; }
  const Picture* MouseIcon() const { return mouseIcon_.get(); }
  std::shared_ptr<const Picture> SharedMouseIcon() const { return mouseIcon_; }
  void SetMouseIcon(std::shared_ptr<const Picture> icon);

  // Caption of a label, text of a text box.
  const std::string& Text() const { return text_; }
  void SetText(std::string text);
  // The selection of a text box, in characters; setting the start empties
  // the selection, and both are kept inside the text.
  int SelStart() const { return selStart_; }
  int SelLength() const { return selLength_; }
  void SetSelStart(int start);
  void SetSelLength(int length);
  // Gives the control the keyboard focus, where it can take it.
  void SetFocus();

  const Picture* PictureData() const { return picture_.get(); }

  bool AutoRedraw() const { return autoRedraw_; }
  ScaleMode Scale() const { return scaleMode_; }
  int TabIndex() const { return tabIndex_; }

  // The persistent image (AutoRedraw); null for controls without one.
  Dc hDC();
  Surface* Image() { return autoRedraw_ ? &image_ : nullptr; }
  void Refresh();
  // Puts a picture into the persistent image; AutoSize holders grow to it.
  void LoadPicture(const Picture& picture);

  // The browser control's methods; other controls ignore them. GoBack and
  // GoForward return false where the control raises an error (no page that
  // way). Refresh, on a browser, reloads the page.
  void Navigate(const std::string& url);
  bool GoBack();
  bool GoForward();
  bool Silent() const { return silent_; }
  void SetSilent(bool silent);
  DocumentHandle Document();
  void ConnectDocument(DocumentHandle document);
  void Stop();
  // Shows `html` as the page of `address`, which failed to load.
  void ShowErrorPage(const std::string& html, const std::string& address);

  // A client of the link (LinkMode 2): LinkTopic names application|topic;
  // setting LinkMode 2 opens the conversation, LinkExecute sends one
  // command. Each returns false where the runtime raises an error.
  const std::string& LinkTopic() const { return linkTopic_; }
  void SetLinkTopic(std::string topic) { linkTopic_ = std::move(topic); }
  int LinkMode() const { return linkMode_; }
  bool SetLinkMode(int mode);
  bool LinkExecute(std::string_view command);
  static constexpr int kLinkTimeoutMs = 2000;

  // Accessibility: the role and name assistive technology reads, and the
  // checked state of a radio button. Exposed: a role, and showing.
  AccRole Role() const { return role_; }
  const std::string& AccName() const { return accName_; }
  void SetAccessible(AccRole role, std::string name);
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  bool Exposed() const { return role_ != AccRole::kNone && Showing(); }
  // Buttons, radio buttons and links do what a left click does; false for
  // everything else, and for a control not exposed.
  bool HasDefaultAction() const;
  bool DoDefaultAction();

  // Set-up, used while the form is built from its design.
  struct Design {
    Rect rect;
    bool visible = true;
    ColorSetting backColor = ColorSetting::System(SysColor::kWindow);
    ColorSetting foreColor = ColorSetting::System(SysColor::kWindowText);
    std::string text;
    MousePointer pointer = MousePointer::kDefault;
    bool autoRedraw = false;
    bool autoSize = false;
    ScaleMode scaleMode = ScaleMode::kPixels;
    int tabIndex = -1;
    std::shared_ptr<const Picture> picture;
    std::shared_ptr<const Picture> mouseIcon;
  };
  void ApplyDesign(const Design& design);

  // The backend reports text typed by the user; no echo back to it.
  void NativeText(std::string text) { text_ = std::move(text); }

  // Labels and images have no window: they are drawn on their container's
  // surface and take their pointer input from it.
  bool Windowless() const { return kind_ == ControlKind::kLabel || kind_ == ControlKind::kImage; }
  // Takes the keyboard focus (Tab, a press) when visible.
  bool Focusable() const { return !Windowless() && tabIndex_ >= 0; }
  // Visible, and so is every container up to the form.
  bool Showing() const;
  // Where the control's top-left corner lies in the form's client area.
  PointL OriginInForm() const;

  // The native peer, created by the form's native side; null before.
  void AttachNative(std::unique_ptr<ControlNative> native);
  ControlNative* Native() const { return native_.get(); }
  WindowHandle hWnd() const { return native_ ? native_->Handle() : nullptr; }

 private:
  void ResizeImage();

  Form* form_;
  ControlKind kind_;
  std::string name_;
  int index_;
  Control* container_;
  Rect rect_;
  bool visible_ = true;
  ColorSetting backColor_;
  ColorSetting foreColor_;
  MousePointer pointer_ = MousePointer::kDefault;
  std::shared_ptr<const Picture> mouseIcon_;
  std::shared_ptr<const Picture> picture_;
  std::string text_;
  bool autoRedraw_ = false;
  bool autoSize_ = false;
  ScaleMode scaleMode_ = ScaleMode::kPixels;
  int tabIndex_ = -1;
  AccRole role_ = AccRole::kNone;
  std::string accName_;
  bool checked_ = false;
  Surface image_;
  std::unique_ptr<ControlNative> native_;
  std::string linkTopic_;
  int linkMode_ = 0;
  bool silent_ = false;
  int selStart_ = 0;
  int selLength_ = 0;
};

}  // namespace forms
