#include "ui/alerts.h"

#include "platform/services.h"
#include "shared/product.h"

void ShowAlert(const char* text) {
  platform::Ui& ui = *platform::Sys().ui;
  ui.ActivateIgnoringOtherApps();
  platform::AlertSpec alert;
  alert.message_text = kProductName;
  alert.informative_text = text ? text : "";
  alert.buttons = {"OK"};
  (void)ui.RunModalAlert(alert);
}
