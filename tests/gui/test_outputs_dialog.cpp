// The Outputs dialog: shows the settings in effect, hands back what was
// edited, and refuses a stop level below the start level.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QSpinBox>

#include "gui/OutputsDlg.h"
#include "tests/setup/QtTestSupport.h"

namespace quorvel {
namespace {

TEST(OutputsDlg, ShowsEditsAndChecksTheSettings) {
  TOutputSettings s;
  s.trigger.value = TTriggerValue::Instant;
  s.trigger.startArcsec = 1.2;
  s.trigger.stopArcsec = 1.8;
  s.onGood = "capture --start";
  s.liveFile = "none";
  s.alpacaPort = 0;
  s.alpacaUniqueId = "id-1";
  TOutputsDlg dlg(s);
  // One group box per output.
  for (const char* box : {"GroupTrigger", "GroupLiveFile", "GroupAlpaca"})
    EXPECT_NE(dlg.findChild<QGroupBox*>(box), nullptr) << box;
  EXPECT_EQ(dlg.TriggerValue()->currentIndex(), 0);
  EXPECT_FALSE(dlg.AlpacaEnabled()->isChecked());
  TOutputSettings same = dlg.Values();
  EXPECT_EQ(same.onGood, "capture --start");
  EXPECT_EQ(same.liveFile, "none");
  EXPECT_EQ(same.alpacaPort, 0);
  EXPECT_EQ(same.alpacaUniqueId, "id-1");
  EXPECT_EQ(dlg.Check(), "");

  dlg.TriggerValue()->setCurrentIndex(2);
  dlg.AlpacaEnabled()->setChecked(true);
  dlg.AlpacaPort()->setValue(11112);
  const TOutputSettings v = dlg.Values();
  EXPECT_EQ(v.trigger.value, TTriggerValue::FiveMinutes);
  EXPECT_EQ(v.alpacaPort, 11112);

  dlg.TriggerStop()->setValue(1.0);
  EXPECT_NE(dlg.Check().find("stop level"), std::string::npos) << dlg.Check();
}

}  // namespace
}  // namespace quorvel
