// quorvel: the daytime seeing monitor. The main window by default; with
// --headless the same acquisition without a display. See --help.
#include <QApplication>
#include <iostream>
#include <memory>

#include "app/Outputs.h"
#include "app/Program.h"
#include "app/Run.h"
#include "common/EventLog.h"
#include "gui/GuiMessages.h"
#include "gui/MainForm.h"
#include "gui/OutputsDlg.h"
#include "records/InstanceLock.h"
#include "records/SettingsStore.h"
#include "mqtt_ui/MqttSettingsDialog.h"

using namespace quorvel;

namespace {

int RunWindow(int argc, char** argv, const TOptions& options) {
  QApplication app(argc, argv);
  // No application display name: the platform would append it to the
  // window's caption, which must read exactly "Quorvel Monitor -> " + stamp.
  // Lets the desktop match the window with the installed quorvel.desktop.
  QGuiApplication::setDesktopFileName("quorvel");
  FixDecimalSeparator();
  MarkMainThread();
  TGuiMessageSink messages;
  SetMessageSink(&messages);
  std::unique_ptr<TProgram> program;
  try {
    program = std::make_unique<TProgram>(options);
  } catch (const std::exception& e) {
    std::cerr << "quorvel: " << e.what() << std::endl;
    // Says who holds the data folder when that is the reason.
    messages.ShowError(e.what());
    return dynamic_cast<const ELockHeld*>(&e) ? 1 : 2;
  }
  int status = 0;
  {
    TMainForm form(program->Backend(), program->Settings());
    messages.SetParent(&form);
    form.Core().Protocol().SetDebugHid(options.debugHid);
    form.Core().SetInstrumentLocking(!options.UsesSimulator(), LockOwnerText(false));
    TOutputs outputs(form.Core(), program->Settings(), options);
    TDatabaseRegistry* settings = program->Settings();
    form.OnOutputsClick = [&form, &outputs, settings] {
      TOutputsDlg dlg(outputs.Current(), &form);
      if (dlg.exec() != QDialog::Accepted) return;
      outputs.Apply(dlg.Values());
      if (settings) WriteOutputSettings(*settings, outputs.Current());
    };
    program->Drive(
        form.Core(), [&form] { form.close(); }, false);
    AddMqttMenuEntry(form, *program->Mqtt(), program->Settings());
    QuitOnSignals(app);
    form.show();
    status = app.exec();
    form.Core().FinalFlush();
  }
  SetMessageSink(nullptr);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  return ProgramMain(argc, argv, RunWindow);
}
