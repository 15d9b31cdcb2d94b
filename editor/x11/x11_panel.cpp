#include "editor/x11/x11_panel.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <new>
#include <utility>

#include "editor/knob_drag.h"
#include "editor/switch_state.h"

namespace {

constexpr const char* kWindowName = "Mulchvoice";

// The buttons that keep a drag going, as on Windows: the left and the right.
constexpr unsigned int kDragButtons = Button1Mask | Button3Mask;

unsigned int buttonMask(unsigned int button) {
  return button == Button1 ? Button1Mask : button == Button3 ? Button3Mask : 0;
}

// One channel of a true-colour visual: where its bits sit in a pixel.
struct Channel {
  int shift = 0;
  int bits = 0;

  explicit Channel(unsigned long mask) {
    for (; mask != 0 && (mask & 1) == 0; mask >>= 1) ++shift;
    for (; (mask & 1) != 0; mask >>= 1) ++bits;
  }
  unsigned long place(uint32_t level) const {  // level: 0 to 255
    const unsigned long scaled = bits >= 8 ? level << (bits - 8) : level >> (8 - bits);
    return scaled << shift;
  }
};

}  // namespace

X11Panel* X11Panel::create(unsigned long parent, ParameterSink& sink) {
  Artwork artwork;
  if (!drawArtwork(artwork)) return nullptr;
  X11Panel* panel = new (std::nothrow) X11Panel(std::move(artwork), sink);
  if (panel != nullptr && !panel->open(parent)) {
    delete panel;
    return nullptr;
  }
  return panel;
}

X11Panel::X11Panel(Artwork artwork, ParameterSink& sink)
    : sink(sink),
      picture(std::move(artwork)),
      values(),
      display(nullptr),
      windowId(0),
      gc(nullptr),
      image(nullptr),
      exposed(false),
      dragged(-1),
      turn(0, 0) {
  for (int32_t p = 0; p < kNumParams; ++p) values[p] = kParameterTable[p].defaultValue;
}

bool X11Panel::open(unsigned long parent) {
  if (picture.empty()) return false;
  display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  const int screen = DefaultScreen(display);
  Visual* visual = DefaultVisual(display, screen);
  const int depth = DefaultDepth(display, screen);
  if (visual->c_class != TrueColor) return false;

  // The screen's own visual and colour map, whatever the parent's, so that the picture's
  // pixels are known; no background, since every exposure is painted from the picture.
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = None;
  attributes.border_pixel = 0;
  attributes.colormap = DefaultColormap(display, screen);
  attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | ButtonMotionMask |
                          StructureNotifyMask;
  windowId = XCreateWindow(display, parent, 0, 0, kEditorWidth, kEditorHeight, 0, depth,
                           InputOutput, visual,
                           CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attributes);
  if (windowId == 0) return false;

  // A fixed size: hosts that embed the window size their frame from these hints.
  XSizeHints hints{};
  hints.flags = PMinSize | PMaxSize | PBaseSize;
  hints.min_width = hints.max_width = hints.base_width = kEditorWidth;
  hints.min_height = hints.max_height = hints.base_height = kEditorHeight;
  XSetWMNormalHints(display, windowId, &hints);
  XStoreName(display, windowId, kWindowName);
  char instanceName[] = "mulchvoice";
  char className[] = "MulchvoiceClass";  // as the Windows editor's window class
  XClassHint classHint{instanceName, className};
  XSetClassHint(display, windowId, &classHint);

  gc = XCreateGC(display, windowId, 0, nullptr);
  // XDestroyImage frees the pixels with free().
  char* pixels = static_cast<char*>(std::malloc(sizeof(uint32_t) * kEditorWidth * kEditorHeight));
  if (pixels != nullptr)
    image = XCreateImage(display, visual, static_cast<unsigned int>(depth), ZPixmap, 0, pixels,
                         kEditorWidth, kEditorHeight, 32, 0);
  if (image == nullptr) {
    std::free(pixels);
    return false;
  }
  show({0, 0, kEditorWidth, kEditorHeight});
  XMapWindow(display, windowId);
  XFlush(display);
  return true;
}

X11Panel::~X11Panel() {
  if (display == nullptr) return;
  if (image != nullptr) XDestroyImage(image);
  if (gc != nullptr) XFreeGC(display, gc);
  XCloseDisplay(display);
}

void X11Panel::setValue(int32_t index, float value) {
  if (index >= 0 && index < kNumParams) values[index] = value;
}

void X11Panel::idle() {
  while (windowId != 0 && XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    handle(event);
  }
  if (windowId == 0) return;
  const uint32_t drawn = picture.refresh(values);
  for (int32_t i = 0; i < kNumControls; ++i)
    if ((drawn & (1u << i)) != 0) show(PanelPicture::controlBox(i));
  if (exposed) show({0, 0, kEditorWidth, kEditorHeight});
  exposed = false;
  XFlush(display);
}

void X11Panel::handle(const XEvent& event) {
  switch (event.type) {
    case Expose: exposed = true; break;
    case ButtonPress:
      // A left press with neither drag button held before it (so also after a release the
      // panel never saw) starts afresh; one during a drag belongs to the drag.
      if (event.xbutton.button == Button1 && (event.xbutton.state & kDragButtons) == 0) {
        dragged = -1;
        press(event.xbutton.x, event.xbutton.y);
      }
      break;
    case MotionNotify: {
      if (dragged < 0) break;
      const ControlPlace& place = kControlLayout[dragged];
      float value = 0.0f;
      if (turn.step(event.xmotion.x - place.imageX - kKnobCentreX,
                    place.imageY + kKnobCentreY - event.xmotion.y,
                    picture.shownKnobValue(dragged), value))
        set(dragged, value);
      break;
    }
    case ButtonRelease:
      // The state is the buttons' before this release.
      if ((event.xbutton.state & kDragButtons & ~buttonMask(event.xbutton.button)) == 0)
        dragged = -1;
      break;
    case DestroyNotify:
      // Destroyed with the host's window: nothing may be drawn into it any more.
      if (event.xdestroywindow.window == windowId) windowId = 0;
      break;
    default: break;
  }
}

// A left press at (x, y): the switch there flips, the knob there starts a drag.
void X11Panel::press(int32_t x, int32_t y) {
  const int32_t control = controlAt(x, y);
  if (control < 0) return;
  const ControlPlace& place = kControlLayout[control];
  if (place.kind() == ParameterKind::kContinuous) {
    dragged = control;
    turn = KnobTurn(x - place.imageX - kKnobCentreX, place.imageY + kKnobCentreY - y);
    return;
  }
  float value = 0.0f;
  if (switchClickValue(picture.shownSwitchState(control), value)) set(control, value);
}

// The user set `value`: the host gets it, and the control shows it at once.
void X11Panel::set(int32_t control, float value) {
  const ParameterIndex index = kControlLayout[control].paramIndex;
  values[index] = value;
  sink.setParameter(index, value);
  picture.drawControl(control, value);
  show(PanelPicture::controlBox(control));
}

// Copies a box of the picture to the window, in the window's pixel format.
void X11Panel::show(const PanelBox& box) {
  const Channel red(image->red_mask), green(image->green_mask), blue(image->blue_mask);
  const Picture& pixels = picture.pixels();
  for (int32_t y = box.y; y < box.y + box.height; ++y)
    for (int32_t x = box.x; x < box.x + box.width; ++x) {
      const uint32_t rgb = pixels.at(x, y);
      XPutPixel(image, x, y,
                red.place(rgb >> 16 & 0xFF) | green.place(rgb >> 8 & 0xFF) | blue.place(rgb & 0xFF));
    }
  XPutImage(display, windowId, gc, image, box.x, box.y, box.x, box.y,
            static_cast<unsigned int>(box.width), static_cast<unsigned int>(box.height));
}
