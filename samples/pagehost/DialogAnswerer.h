// Plays the user of the page host: a second thread watches the thread that drives the
// gateway, and whenever one of the gateway's dialogs opens there it reads the dialog
// (caption, every control's text, place and visibility, the choice list, what switching
// the list shows) and answers it as told.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pagehost {

// How a confirmation dialog is answered; a denied notice is always closed with OK.
enum class Answer { Allow, Deny, Close };

struct SeenControl {
  int id = 0;
  std::wstring className, text;
  RECT place = {};  // in the dialog's client area, pixels
  LONG style = 0;
  bool visible = false;
};

struct SeenDialog {
  std::wstring caption;
  bool confirmation = false;  // the confirmation dialog (else the denied notice)
  std::vector<SeenControl> controls;
  std::vector<std::wstring> choices;  // the entries of the choice list
  int chosen = -1;                    // its selection at opening
  // Which text is visible with the second entry chosen, and with the first again.
  bool pageShownForSecondChoice = false, descriptionShownForSecondChoice = false;
  bool descriptionShownForFirstChoice = false, pageShownForFirstChoice = false;
  SIZE client = {};  // the client area, pixels
  int baseX = 0, baseY = 0;  // dialog base units: pixels = units * base / (4 or 8)
  bool topLevel = false;      // no owner window
  bool modalFrame = false, centred = false;

  const SeenControl* Control(int id) const;
  // A dialog-unit rectangle in pixels, as the dialog maps it.
  RECT Pixels(int x, int y, int cx, int cy) const;
};

class DialogAnswerer {
 public:
  // Watches the dialogs of `thread` (the caller's when 0).
  explicit DialogAnswerer(DWORD thread = 0);
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  void SetAnswer(Answer answer) { answer_ = answer; }
  // Called on the answering thread once a dialog has been read, before it is answered.
  void OnDialog(std::function<void(HWND)> hook) {
    std::lock_guard<std::mutex> guard(seenLock_);
    hook_ = std::move(hook);
  }
  // The dialogs seen since the last call, in order.
  std::vector<SeenDialog> Take();

 private:
  void Watch();
  void Handle(HWND dialog);

  DWORD thread_;
  std::atomic<Answer> answer_{Answer::Deny};
  std::atomic<bool> stop_{false};
  std::mutex seenLock_;
  std::vector<SeenDialog> seen_;
  std::function<void(HWND)> hook_;
  std::thread watcher_;
};

// The caption of each gateway dialog.
inline constexpr const wchar_t* kConfirmCaption = L"Vantor profile access";
inline constexpr const wchar_t* kDeniedCaption = L"Scritpting denied";

}  // namespace pagehost
