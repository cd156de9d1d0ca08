#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSpinBox>

#include "ui/form1.h"

namespace ardel::ui {
namespace {

TEST(TForm1Tick, IntervalEditorDrivesTheTimer) {
  TForm1 form;
  auto* spin = form.findChild<QSpinBox*>("SpinEdit1");
  ASSERT_NE(spin, nullptr);
  EXPECT_EQ(spin->value(), 100);
  EXPECT_EQ(spin->minimum(), 25);
  EXPECT_EQ(spin->maximum(), 2500);
  EXPECT_EQ(spin->singleStep(), 25);
  EXPECT_EQ(form.App().TickTimer().Interval().count(), 100);
  EXPECT_TRUE(form.App().TickTimer().IsActive());
  struct Case {
    int set;
    int interval;
  } cases[] = {{500, 500}, {2500, 2500}, {9999, 2500}, {1, 25}, {100, 100}};
  for (const auto& c : cases) {
    spin->setValue(c.set);
    EXPECT_EQ(form.App().TickTimer().Interval().count(), c.interval) << c.set;
  }
  form.App().Timer1Timer();
  EXPECT_NE(form.findChild<QLineEdit*>("Edit1")->text(), "Date Time");
}

}  // namespace
}  // namespace ardel::ui
