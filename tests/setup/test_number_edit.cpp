#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "setup/NumberEdit.h"
#include "tests/setup/QtTestSupport.h"

namespace quorvel {
namespace {

using testing::CaptureSink;

const std::string kTooBig = "Nombre trop grand par rapport à la valeur maximale autorisée : ";
const std::string kTooSmall = "Nombre trop petit par rapport à la valeur minimale autorisée : ";
const std::string kFormula = "Entrée incorrecte (caractères A-Z, ou a-z sont interdits) !";

// A window with the field under test and a second control to move to.
class NumberEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* layout = new QVBoxLayout(&window);
    field = new TNumberEdit(&window);
    other = new QPushButton(QStringLiteral("other"), &window);
    layout->addWidget(field);
    layout->addWidget(other);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    field->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(field->hasFocus());
  }

  // Types `text` into the field and leaves it with Tab.
  void TypeAndLeave(const QString& text) {
    field->setFocus(Qt::OtherFocusReason);
    field->clear();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Tab);
  }

  CaptureSink sink;
  QWidget window;
  TNumberEdit* field = nullptr;
  QPushButton* other = nullptr;
};

TEST_F(NumberEditTest, StartsWithDefaultsAndRemembersItsBackground) {
  EXPECT_EQ(field->MaxValue(), 0);
  EXPECT_EQ(field->MinValue(), 0);
  EXPECT_EQ(field->TypeValue(), TTypeValue::Int);
  EXPECT_EQ(field->Oldcolor(), field->BackgroundColor());
  EXPECT_EQ(TNumberEdit::ErrorColor(), QColor(255, 68, 68));
}

TEST_F(NumberEditTest, AcceptedTextIsRewrittenAndTheFocusMovesOn) {
  field->SetTypeValue(TTypeValue::Float);
  field->SetMinValue(0);
  field->SetMaxValue(89.99999999);
  TypeAndLeave(QStringLiteral("90/2"));
  EXPECT_EQ(field->text(), QStringLiteral("45"));
  EXPECT_TRUE(other->hasFocus());
  EXPECT_TRUE(sink.messages.empty());
  EXPECT_EQ(field->BackgroundColor(), field->Oldcolor());
}

TEST_F(NumberEditTest, RefusedTextIsKeptTheFieldTurnsRedAndTakesTheFocusBack) {
  struct Case {
    TTypeValue type;
    double min, max;
    const char* text;
    std::string message;
  };
  const Case cases[] = {
      {TTypeValue::Float, 0, 89.99999999, "90", kTooBig + "89.99999999"},
      {TTypeValue::Float, 0, 89.99999999, "-5", kTooSmall + "0"},
      {TTypeValue::Float, 0, 359.9999, "1/0", kTooBig + "359.9999"},
      {TTypeValue::Float, 0, 0, "abc", kFormula},
      {TTypeValue::Int, 0, 0, "12.5", "12.5 n'est pas une valeur entière valide !"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    sink.messages.clear();
    field->SetTypeValue(c.type);
    field->SetMinValue(c.min);
    field->SetMaxValue(c.max);
    TypeAndLeave(QString::fromUtf8(c.text));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], c.message);
    EXPECT_EQ(field->text(), QString::fromUtf8(c.text));
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(QApplication::focusWidget(), field);
    EXPECT_EQ(field->BackgroundColor(), TNumberEdit::ErrorColor());
  }
}

TEST_F(NumberEditTest, LeavingAgainRepeatsTheErrorAndOnlyEnteringClearsTheRed) {
  field->SetTypeValue(TTypeValue::Float);
  field->SetMaxValue(89.99999999);
  TypeAndLeave(QStringLiteral("90"));
  QTest::keyClick(field, Qt::Key_Tab);
  ASSERT_EQ(sink.messages.size(), 2u);
  EXPECT_EQ(sink.messages[1], kTooBig + "89.99999999");
  EXPECT_TRUE(field->hasFocus());
  EXPECT_EQ(field->BackgroundColor(), TNumberEdit::ErrorColor());

  // Corrected while it still has the focus: accepted, but still red.
  field->clear();
  QTest::keyClicks(field, QStringLiteral("45.5000"));
  QTest::keyClick(field, Qt::Key_Tab);
  EXPECT_EQ(sink.messages.size(), 2u);
  EXPECT_EQ(field->text(), QStringLiteral("45.5"));
  EXPECT_TRUE(other->hasFocus());
  EXPECT_EQ(field->BackgroundColor(), TNumberEdit::ErrorColor());
  field->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(field->BackgroundColor(), field->Oldcolor());
}

TEST_F(NumberEditTest, EnteringTheFieldClearsTheRed) {
  other->setFocus(Qt::OtherFocusReason);
  field->DisplayErrorFrm();
  EXPECT_EQ(field->BackgroundColor(), TNumberEdit::ErrorColor());
  field->setFocus(Qt::MouseFocusReason);
  EXPECT_EQ(field->BackgroundColor(), field->Oldcolor());
}

TEST_F(NumberEditTest, EmptyFieldIsAcceptedAndStaysEmpty) {
  field->SetTypeValue(TTypeValue::Float);
  field->SetMaxValue(89.99999999);
  TypeAndLeave(QString());
  EXPECT_TRUE(sink.messages.empty());
  EXPECT_TRUE(field->text().isEmpty());
  EXPECT_TRUE(other->hasFocus());
}

TEST_F(NumberEditTest, UnrangedFieldTakesNegativesAndSpecialValues) {
  field->SetTypeValue(TTypeValue::Float);
  const std::pair<const char*, const char*> cases[] = {
      {"-12.5", "-12.5"}, {"1/0", "INF"}, {"0/0", "NAN"}, {"NAN", "NAN"}, {"1e3", "1000"}};
  for (const auto& [typed, shown] : cases) {
    TypeAndLeave(QString::fromUtf8(typed));
    EXPECT_EQ(field->text(), QString::fromUtf8(shown)) << typed;
  }
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(NumberEditTest, SwitchingWindowsOrOpeningAMenuIsNotLeavingTheField) {
  field->setText(QStringLiteral("abc"));
  for (Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
    QFocusEvent out(QEvent::FocusOut, reason);
    QCoreApplication::sendEvent(field, &out);
  }
  EXPECT_TRUE(sink.messages.empty());
  EXPECT_EQ(field->text(), QStringLiteral("abc"));
}

TEST_F(NumberEditTest, TwoBadFieldsDoNotBounceTheFocus) {
  auto* second = new TNumberEdit(&window);
  window.layout()->addWidget(second);
  second->show();
  second->setText(QStringLiteral("xyz"));  // set without being left
  field->setText(QStringLiteral("abc"));
  field->setFocus(Qt::OtherFocusReason);
  second->setFocus(Qt::TabFocusReason);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(QApplication::focusWidget(), field);
}

}  // namespace
}  // namespace quorvel
