#pragma once
// The interface through which the effect reaches its editor, with the deferred refresh:
// a parameter change only marks the editor stale (`postUpdate`, from any thread), and the
// host's next idle call on its user-interface thread carries out the redraw (`update`).

#include <atomic>
#include <cstdint>

class AudioEffect;

// A rectangle in window coordinates, as the host reads it.
struct ERect {
  int16_t top;
  int16_t left;
  int16_t bottom;
  int16_t right;
};

class AEffEditor {
 public:
  explicit AEffEditor(AudioEffect* effect) : effect(effect), systemWindow(nullptr), updateFlag(0) {}

  AEffEditor(const AEffEditor&) = delete;
  AEffEditor& operator=(const AEffEditor&) = delete;

  virtual void update() {}
  // Any thread: marks a refresh as pending; draws nothing and touches no window.
  virtual void postUpdate() { updateFlag.store(1, std::memory_order_relaxed); }
  virtual ~AEffEditor() = default;

  virtual int32_t getRect(ERect** rect) {
    *rect = nullptr;
    return 0;
  }
  virtual int32_t open(void* parent) {
    systemWindow = parent;
    return 0;
  }
  virtual void close() {}
  virtual void draw(ERect*) {}
  virtual int32_t mouse(int32_t, int32_t) { return 0; }
  virtual int32_t key(int32_t) { return 0; }
  // The host's user-interface thread. The flag is cleared before `update` runs, so a change
  // posted while the redraw is under way stays pending for the next idle call.
  virtual void idle() {
    if (updateFlag.exchange(0, std::memory_order_relaxed) != 0) update();
  }
  virtual void top() {}
  virtual void sleep() {}

 protected:
  AudioEffect* effect;
  void* systemWindow;
  std::atomic<int32_t> updateFlag;
};
