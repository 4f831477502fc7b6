#pragma once

#include <functional>

// Root of everything a handler can receive as its Sender.
class TObject {
 public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;
// An up-down's changing event: clearing AllowChange keeps the old position.
using TUDChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

// A non-visual part owned by a window (the MIDI ports). While its owner is being
// loaded from its description, property setters may behave differently.
class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* AOwner = nullptr) : Owner(AOwner) {}

  TComponent* GetOwner() const { return Owner; }
  bool Loading() const { return loading_ || (Owner && Owner->Loading()); }
  void SetLoading(bool loading) { loading_ = loading; }

 protected:
  TComponent* Owner;

 private:
  bool loading_ = false;
};
