// Several views on one model: each hears every change, and one that goes away takes
// only itself off.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/link_log.h"
#include "util/line_list.h"
#include "util/text_field.h"
#include "util/text_lines.h"

namespace ardel {
namespace {

struct TCounting : ILinkLogObserver, ILineListObserver, ITextLinesObserver, ITextFieldObserver {
  void BeforeAppend(std::size_t) override { ++before; }
  void AfterAppend(bool) override { ++after; }
  void AfterAppend() override { ++after; }
  void BeforeClear() override {}
  void AfterClear() override {}
  void BeforeInsert(std::size_t) override { ++before; }
  void AfterInsert() override { ++after; }
  void BeforeRemove(std::size_t) override {}
  void AfterRemove() override {}
  void TextChanged() override { ++before, ++after; }
  int before = 0;
  int after = 0;
};

// Adds two observers, changes the model, removes the first, changes it again.
template <typename TModel>
void CheckTwoObservers(TModel& model, void (*change)(TModel&, int)) {
  TCounting first, second;
  model.AddObserver(&first);
  model.AddObserver(&second);
  model.AddObserver(&second);  // counted once
  change(model, 1);
  EXPECT_EQ(first.after, 1);
  EXPECT_EQ(second.after, 1);
  EXPECT_EQ(first.before, first.after);
  model.RemoveObserver(&first);
  change(model, 2);
  EXPECT_EQ(first.after, 1);
  EXPECT_EQ(second.after, 2);
  EXPECT_EQ(second.before, second.after);
  model.RemoveObserver(&second);
  change(model, 3);
  EXPECT_EQ(second.after, 2);
}

TEST(Observers, EachModelTellsEveryObserverAndForgetsOnlyTheOneRemoved) {
  TLinkLog log;
  CheckTwoObservers<TLinkLog>(log, [](TLinkLog& m, int i) { m.AppendLine(colors::kBlack, std::to_string(i)); });
  TLineList list;
  CheckTwoObservers<TLineList>(list, [](TLineList& m, int i) { m.InsertTop(std::to_string(i)); });
  TTextLines lines;
  CheckTwoObservers<TTextLines>(lines, [](TTextLines& m, int i) { m.Append(std::to_string(i)); });
  TTextField field;
  CheckTwoObservers<TTextField>(field, [](TTextField& m, int i) { m.SetText(std::to_string(i)); });
}

}  // namespace
}  // namespace ardel
