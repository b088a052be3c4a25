#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <functional>
#include <optional>

#include "common/Format.h"
#include "setup/NumberEdit.h"
#include "setup/SetupDlg.h"
#include "setup/SpinEdit.h"
#include "tests/setup/QtTestSupport.h"

namespace quorvel {
namespace {

using testing::CaptureSink;

constexpr double kPi = 3.14159265358979323846;

TSetupValues Site(double latDeg, double lonDegWest, double alt = 0, std::uint16_t retention = 1200,
                  std::uint16_t minV = 150) {
  TSetupValues v;
  v.MaxPointsDisplayed = retention;
  v.MinValue_mV = minV;
  v.Latitude = latDeg * kPi / 180;
  v.Longitude = lonDegWest * kPi / 180;
  v.AltitudeM = alt;
  return v;
}

// Runs the whole dialog; `operate` acts on it while it is shown modally.
std::optional<TSetupValues> RunDialog(const TSetupValues& current,
                                      const std::function<void(TFormSetup&)>& operate,
                                      bool debugger = false) {
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<TFormSetup*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    operate(*dialog);
    if (dialog->isVisible()) dialog->reject();  // whatever the test left open
  });
  std::optional<TSetupValues> applied;
  const bool ok =
      RunSetupDialog(nullptr, debugger, current, [&](const TSetupValues& v) { applied = v; });
  EXPECT_EQ(ok, applied.has_value());
  return applied;
}

TEST(SetupDialog, HasItsCaptionControlsAndTabOrder) {
  TFormSetup dialog(nullptr, false);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Setup"));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());  // not resizable
  EXPECT_GE(dialog.width(), 285);
  EXPECT_GE(dialog.height(), 202);
  EXPECT_EQ(dialog.ButtonOK->text(), QStringLiteral("OK"));
  EXPECT_EQ(dialog.Button1->text(), QStringLiteral("Cancel"));
  EXPECT_EQ(dialog.Label1->text(), QStringLiteral("Displayed points rentention (sec)"));
  EXPECT_EQ(dialog.Label2->text(), QStringLiteral("Minimum SUN signal (mV)"));
  EXPECT_EQ(dialog.Label3->text(), QStringLiteral("Longitude (deg)"));
  EXPECT_EQ(dialog.Label4->text(), QStringLiteral("Latitude (deg)"));
  EXPECT_EQ(dialog.Label5->text(), QStringLiteral("Altitude (m)"));
  EXPECT_EQ(dialog.SpinEditSecRetention->toolTip(),
            QStringLiteral("Number of point to keep in the plots, then will be FIFO'ed"));
  EXPECT_EQ(dialog.SpinEditMinV->toolTip(),
            QStringLiteral("Below this value no seeing computation will performed."));
  EXPECT_EQ(dialog.SpinEditSecRetention->minimum(), 1000);
  EXPECT_EQ(dialog.SpinEditSecRetention->maximum(), 86400);
  EXPECT_EQ(dialog.SpinEditMinV->minimum(), 50);
  EXPECT_EQ(dialog.SpinEditMinV->maximum(), 1500);
  EXPECT_EQ(dialog.ComboBoxLongitude->itemText(0), QStringLiteral("E"));
  EXPECT_EQ(dialog.ComboBoxLongitude->itemText(1), QStringLiteral("W"));
  EXPECT_EQ(dialog.ComboBoxLatitude->itemText(0), QStringLiteral("N"));
  EXPECT_EQ(dialog.ComboBoxLatitude->itemText(1), QStringLiteral("S"));
  struct Range {
    TNumberEdit* field;
    double min, max;
  };
  for (const Range& r : {Range{dialog.NumberEditLongitude, 0, 359.9999},
                         Range{dialog.NumberEditLatitude, 0, 89.99999999},
                         Range{dialog.NumberEditAltitude, -300, 9000}}) {
    EXPECT_EQ(r.field->TypeValue(), TTypeValue::Float);
    EXPECT_EQ(r.field->MinValue(), r.min);
    EXPECT_EQ(r.field->MaxValue(), r.max);
  }

  QStringList order;
  QWidget* w = dialog.ButtonOK;
  do {
    if (w->parentWidget() == &dialog && (w->focusPolicy() & Qt::TabFocus)) order << w->objectName();
    w = w->nextInFocusChain();
  } while (w != dialog.ButtonOK);
  EXPECT_EQ(order, QStringList({"ButtonOK", "SpinEditSecRetention", "Button1", "SpinEditMinV",
                                "NumberEditLongitude", "ComboBoxLongitude", "NumberEditLatitude",
                                "ComboBoxLatitude", "NumberEditAltitude"}));
  for (const QString& name : order) EXPECT_NE(dialog.findChild<QWidget*>(name), nullptr);
}

TEST(SetupDialog, DebuggerLowersTheRetentionMinimum) {
  TFormSetup normal(nullptr, false);
  TFormSetup debug(nullptr, true);
  EXPECT_EQ(normal.SpinEditSecRetention->minimum(), 1000);
  EXPECT_EQ(debug.SpinEditSecRetention->minimum(), 60);
}

TEST(SetupDialog, FillsFromTheProgramValues) {
  struct Case {
    TSetupValues values;
    const char *lat, *latSide, *lon, *lonSide, *alt;
    int retention, minV;
  };
  const Case cases[] = {
      {Site(45.5, -3.5, 250.4), "45.5000", "N", "3.5000", "E", "250", 1200, 150},
      {Site(-30, 70, -12.6, 3600, 200), "30.0000", "S", "70.0000", "W", "-13", 3600, 200},
      {Site(0, 0), "0.0000", "S", "0.0000", "E", "0", 1200, 150},
      // Out of a spin box's limits: the nearest limit.
      {Site(1, 1, 0, 60, 10), "1.0000", "N", "1.0000", "W", "0", 1000, 50},
      {Site(1, 1, 0, 65535, 5000), "1.0000", "N", "1.0000", "W", "0", 65535, 1500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lat);
    TFormSetup dialog(nullptr, false);
    dialog.FillFrom(c.values);
    EXPECT_EQ(dialog.NumberEditLatitude->text(), QString::fromUtf8(c.lat));
    EXPECT_EQ(dialog.ComboBoxLatitude->currentText(), QString::fromUtf8(c.latSide));
    EXPECT_EQ(dialog.NumberEditLongitude->text(), QString::fromUtf8(c.lon));
    EXPECT_EQ(dialog.ComboBoxLongitude->currentText(), QString::fromUtf8(c.lonSide));
    EXPECT_EQ(dialog.NumberEditAltitude->text(), QString::fromUtf8(c.alt));
    EXPECT_EQ(dialog.SpinEditSecRetention->value(), c.retention);
    EXPECT_EQ(dialog.SpinEditMinV->value(), c.minV);
  }
}

TEST(SetupDialog, AcceptingUnchangedGivesTheSameSiteBack) {
  CaptureSink sink;
  TSetupValues site;
  site.MaxPointsDisplayed = 1200;
  site.MinValue_mV = 150;
  site.Latitude = 0.79412480965742;
  site.Longitude = -0.0610865238198015;
  site.AltitudeM = 250;
  const auto applied = RunDialog(site, [](TFormSetup& d) {
    EXPECT_EQ(d.NumberEditLatitude->text(), QStringLiteral("45.5000"));
    EXPECT_EQ(d.ComboBoxLatitude->currentText(), QStringLiteral("N"));
    EXPECT_EQ(d.NumberEditLongitude->text(), QStringLiteral("3.5000"));
    EXPECT_EQ(d.ComboBoxLongitude->currentText(), QStringLiteral("E"));
    d.ButtonOK->click();
  });
  ASSERT_TRUE(applied);
  EXPECT_EQ(FormatGeneral(applied->Latitude), "0.79412480965742");
  EXPECT_EQ(FormatGeneral(applied->Longitude), "-0.0610865238198015");
  EXPECT_EQ(applied->AltitudeM, 250);
  EXPECT_EQ(applied->MaxPointsDisplayed, 1200);
  EXPECT_EQ(applied->MinValue_mV, 150);
  EXPECT_TRUE(sink.messages.empty());
}

TEST(SetupDialog, EditedValuesAreConvertedOnOK) {
  CaptureSink sink;
  const auto applied = RunDialog(Site(45.5, -3.5), [](TFormSetup& d) {
    d.NumberEditLatitude->setText(QStringLiteral("30"));
    d.ComboBoxLatitude->setCurrentText(QStringLiteral("S"));
    d.NumberEditLongitude->setText(QStringLiteral("140/2"));  // a formula, not left yet
    d.ComboBoxLongitude->setCurrentText(QStringLiteral("W"));
    d.NumberEditAltitude->setText(QStringLiteral("1234.6"));
    d.SpinEditSecRetention->setValue(3600);
    d.SpinEditMinV->setValue(200);
    d.ButtonOK->click();
  });
  ASSERT_TRUE(applied);
  EXPECT_DOUBLE_EQ(applied->Latitude, -30 * kPi / 180);
  EXPECT_DOUBLE_EQ(applied->Longitude, 70 * kPi / 180);
  EXPECT_EQ(applied->AltitudeM, 1234.6);
  EXPECT_EQ(applied->MaxPointsDisplayed, 3600);
  EXPECT_EQ(applied->MinValue_mV, 200);
  EXPECT_TRUE(sink.messages.empty());
}

TEST(SetupDialog, LatitudeZeroOpensWithSouthAndStaysZero) {
  const auto applied = RunDialog(Site(0, 0), [](TFormSetup& d) {
    EXPECT_EQ(d.ComboBoxLatitude->currentText(), QStringLiteral("S"));
    d.ButtonOK->click();
  });
  ASSERT_TRUE(applied);
  EXPECT_EQ(applied->Latitude, 0.0);  // -0 compares equal
  EXPECT_EQ(applied->Longitude, 0.0);
}

TEST(SetupDialog, NoSelectionInAComboGivesAPositiveAngle) {
  TFormSetup dialog(nullptr, false);
  dialog.FillFrom(Site(-10, -20));
  dialog.ComboBoxLatitude->setCurrentIndex(-1);
  dialog.ComboBoxLongitude->setCurrentIndex(-1);
  const TSetupValues v = SetupValuesFromTexts(dialog.CurrentTexts());
  EXPECT_DOUBLE_EQ(v.Latitude, 10 * kPi / 180);
  EXPECT_DOUBLE_EQ(v.Longitude, 20 * kPi / 180);
}

TEST(SetupDialog, CancelAndTheCloseBoxChangeNothing) {
  CaptureSink sink;
  const std::function<void(TFormSetup&)> ways[] = {
      [](TFormSetup& d) {
        d.NumberEditLatitude->setText(QStringLiteral("12"));
        d.Button1->click();
      },
      [](TFormSetup& d) {
        d.NumberEditLatitude->setText(QStringLiteral("abc"));  // not even checked
        d.close();
      },
      [](TFormSetup& d) {
        d.NumberEditAltitude->setFocus();
        QTest::keyClicks(d.NumberEditAltitude, QStringLiteral("xyz"));
        QTest::keyClick(&d, Qt::Key_Escape);
      },
  };
  for (const auto& way : ways) EXPECT_FALSE(RunDialog(Site(45.5, -3.5), way));
  EXPECT_TRUE(sink.messages.empty());
}

// Every refusal keeps the dialog open, says why, and applies nothing.
TEST(SetupDialog, RefusedAcceptanceTellsTheOperatorAndAppliesNothing) {
  struct Case {
    std::function<void(TFormSetup&)> edit;
    std::string message;
    const char* focused;
  };
  const Case cases[] = {
      {[](TFormSetup& d) { d.SpinEditSecRetention->setValue(70000); },
       "Displayed points retention cannot be more than 65535, nothing was changed !",
       "SpinEditSecRetention"},
      {[](TFormSetup& d) { d.SpinEditSecRetention->setValue(65536); },
       "Displayed points retention cannot be more than 65535, nothing was changed !",
       "SpinEditSecRetention"},
      {[](TFormSetup& d) { d.NumberEditLatitude->clear(); },
       "The field 'Latitude (deg)' is empty, please enter a value !", "NumberEditLatitude"},
      {[](TFormSetup& d) { d.NumberEditAltitude->clear(); },
       "The field 'Altitude (m)' is empty, please enter a value !", "NumberEditAltitude"},
      {[](TFormSetup& d) { d.NumberEditLongitude->setText(QStringLiteral("0/0")); },
       "The field 'Longitude (deg)' must hold a finite number !", "NumberEditLongitude"},
      {[](TFormSetup& d) { d.NumberEditLatitude->setText(QStringLiteral("95")); },
       "Nombre trop grand par rapport à la valeur maximale autorisée : 89.99999999",
       "NumberEditLatitude"},
      {[](TFormSetup& d) { d.NumberEditAltitude->setText(QStringLiteral("1 000")); },
       "Entrée incorrecte (caractères A-Z, ou a-z sont interdits) !", "NumberEditAltitude"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    CaptureSink sink;
    const auto applied = RunDialog(Site(45.5, -3.5), [&](TFormSetup& d) {
      d.activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
      d.NumberEditLatitude->setText(QStringLiteral("12"));  // a valid edit, not applied
      c.edit(d);
      d.ButtonOK->click();
      EXPECT_TRUE(d.isVisible());
      EXPECT_TRUE(d.findChild<QWidget*>(c.focused)->hasFocus());
    });
    EXPECT_FALSE(applied);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], c.message);
  }
}

TEST(SetupDialog, RefusedThenCorrectedIsAccepted) {
  CaptureSink sink;
  const auto applied = RunDialog(Site(45.5, -3.5), [](TFormSetup& d) {
    d.SpinEditSecRetention->setValue(86400);
    d.ButtonOK->click();
    d.SpinEditSecRetention->setValue(65535);
    d.ButtonOK->click();
  });
  ASSERT_TRUE(applied);
  EXPECT_EQ(applied->MaxPointsDisplayed, 65535);
  EXPECT_EQ(sink.messages.size(), 1u);
}

TEST(SetupDialog, SpinBoxesBringTypedValuesBackIntoTheirLimits) {
  TFormSetup dialog(nullptr, false);
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  struct Case {
    const char* typed;
    int value;
  };
  const Case cases[] = {{"100000", 86400},
                        {"5", 1000},
                        {"", 1000},
                        {"-", 1000},
                        {"99999999999999999999", 86400},
                        {"-99999999999999999999", 1000},
                        {"3600", 3600},
                        {"abc", 1000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    dialog.SpinEditSecRetention->setFocus(Qt::TabFocusReason);
    dialog.SpinEditSecRetention->setValue(2000);
    dialog.SpinEditSecRetention->selectAll();
    QTest::keyClick(dialog.SpinEditSecRetention, Qt::Key_Delete);
    QTest::keyClicks(dialog.SpinEditSecRetention, QString::fromUtf8(c.typed));
    dialog.SpinEditMinV->setFocus(Qt::TabFocusReason);  // leave the box
    EXPECT_EQ(dialog.SpinEditSecRetention->value(), c.value);
    EXPECT_EQ(dialog.SpinEditSecRetention->text(), QString::number(c.value));
  }
}

TEST(SetupDialog, TimersKeepRunningWhileTheDialogIsOpen) {
  // The dialog is closed by the fifth tick of a timer started outside it; a
  // safety close after 10 s makes a blocked timer fail instead of hang.
  int ticks = 0;
  QTimer timer;
  timer.setInterval(5);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (++ticks == 5)
      if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
  });
  timer.start();
  QTimer::singleShot(10000, [] {
    if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
  });
  EXPECT_FALSE(RunSetupDialog(nullptr, false, Site(45.5, -3.5), [](const TSetupValues&) {}));
  EXPECT_EQ(ticks, 5);
}

}  // namespace
}  // namespace quorvel
