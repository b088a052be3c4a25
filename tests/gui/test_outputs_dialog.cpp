// The Outputs dialog: shows the settings in effect, hands back what was
// edited, and refuses a stop level below the start level.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QSpinBox>
#include <QVBoxLayout>

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

// Another output's group (MQTT) goes below the built-in ones, above OK.
TEST(OutputsDlg, TakesAnotherOutputsGroupAboveTheButtons) {
  TOutputsDlg dlg(TOutputSettings{});
  auto* extra = new QGroupBox(QStringLiteral("MQTT"), &dlg);
  dlg.AddGroup(extra);
  auto* layout = qobject_cast<QVBoxLayout*>(dlg.layout());
  ASSERT_NE(layout, nullptr);
  const int at = layout->indexOf(extra);
  EXPECT_EQ(at, layout->count() - 2);
  EXPECT_NE(qobject_cast<QDialogButtonBox*>(layout->itemAt(layout->count() - 1)->widget()),
            nullptr);
  const auto groups = dlg.findChildren<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly);
  EXPECT_EQ(groups.size(), 4);
}

}  // namespace
}  // namespace quorvel
