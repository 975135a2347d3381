// What the main dialog of either program does besides its own buttons: the About entry
// in its system menu, the application icon as its big and small icon, the icon drawn
// when it is minimised and dragged.
#pragma once

#include "framework/dialog.h"
#include "platform/win32.h"

class MainDialog : public Dialog {
 public:
  // The About entry's text is string `aboutStringId`; the icon is icon `iconId`.
  MainDialog(int templateId, UINT aboutStringId, int iconId, Dialog* parent);

  static constexpr UINT kAboutCommand = 0x0010;

 protected:
  BOOL OnInitDialog() override;
  void OnSysCommand(UINT id, LPARAM param) override;
  void OnPaint() override;
  HICON OnQueryDragIcon() override;

  HICON icon() const { return icon_; }

 private:
  UINT aboutStringId_;
  HICON icon_;
};
