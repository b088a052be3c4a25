// quorvel: the daytime seeing monitor. The main window by default; with
// --headless the same acquisition without a display. See --help.
#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <iostream>
#include <memory>

#include "app/Outputs.h"
#include "app/Program.h"
#include "app/Run.h"
#include "common/EventLog.h"
#include "gui/GuiMessages.h"
#include "gui/MainForm.h"
#include "gui/OutputsDlg.h"
#include "mqtt_ui/MqttSettingsDialog.h"
#include "records/InstanceLock.h"
#include "records/SettingsStore.h"

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
    TProgram* prog = program.get();
    form.OnOutputsClick = [&form, &outputs, settings, prog] {
      TOutputsDlg dlg(outputs.Current(), &form);
      // MQTT keeps its own dialog (it applies and stores at once); the
      // outputs dialog shows its state and opens it.
      if (TMqttOutput* mqtt = prog->Mqtt()) {
        auto* group = new QGroupBox(QStringLiteral("MQTT"), &dlg);
        group->setObjectName(QStringLiteral("GroupMqtt"));
        auto* row = new QHBoxLayout(group);
        auto* state = new QLabel(QString::fromStdString(MqttStatusText(*mqtt)), group);
        auto* button = new QPushButton(QStringLiteral("MQTT settings..."), group);
        button->setObjectName(QStringLiteral("ButtonMqttSettings"));
        row->addWidget(state, 1);
        row->addWidget(button);
        QObject::connect(button, &QPushButton::clicked, &dlg, [&dlg, mqtt, settings, state] {
          RunMqttSettingsDialog(&dlg, *mqtt, settings);
          state->setText(QString::fromStdString(MqttStatusText(*mqtt)));
        });
        dlg.AddGroup(group);
      }
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
