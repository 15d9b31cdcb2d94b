#pragma once
// An editor that draws nothing and records every call the effect makes to it, with the
// arguments, so that tests can see what the dispatcher and setParameter forward.

#include <cstdint>

#include "host/aeff_editor.h"

class RecordingEditor : public AEffEditor {
 public:
  explicit RecordingEditor(AudioEffect* effect, bool* destroyed = nullptr)
      : AEffEditor(effect), destroyed(destroyed) {}
  ~RecordingEditor() override {
    if (destroyed != nullptr) *destroyed = true;
  }

  void postUpdate() override {
    ++postUpdates;
    AEffEditor::postUpdate();
  }
  int32_t getRect(ERect** rect) override {
    ++getRectCalls;
    getRectArgument = rect;
    *rect = &rectangle;
    return 1;
  }
  int32_t open(void* parent) override {
    ++openCalls;
    openArgument = parent;
    return openAnswer;
  }
  void close() override { ++closeCalls; }
  void draw(ERect* rect) override {
    ++drawCalls;
    drawArgument = rect;
  }
  int32_t mouse(int32_t x, int32_t y) override {
    ++mouseCalls;
    mouseX = x;
    mouseY = y;
    return mouseAnswer;
  }
  int32_t key(int32_t value) override {
    ++keyCalls;
    keyArgument = value;
    return keyAnswer;
  }
  void idle() override { ++idleCalls; }
  void top() override { ++topCalls; }
  void sleep() override { ++sleepCalls; }

  int totalCalls() const {
    return getRectCalls + openCalls + closeCalls + drawCalls + mouseCalls + keyCalls +
           idleCalls + topCalls + sleepCalls;
  }

  bool* destroyed;
  ERect rectangle{0, 0, 161, 479};
  int32_t openAnswer = 11;
  int32_t mouseAnswer = 22;
  int32_t keyAnswer = 33;

  int postUpdates = 0;
  int getRectCalls = 0;
  ERect** getRectArgument = nullptr;
  int openCalls = 0;
  void* openArgument = nullptr;
  int closeCalls = 0;
  int drawCalls = 0;
  ERect* drawArgument = nullptr;
  int mouseCalls = 0;
  int32_t mouseX = 0;
  int32_t mouseY = 0;
  int keyCalls = 0;
  int32_t keyArgument = 0;
  int idleCalls = 0;
  int topCalls = 0;
  int sleepCalls = 0;
};
