// What the information field says about station commands, with the program's own tick:
// a command that no station answers, an input filter that comes back in part, and the
// offer of a new base ID.

#include <gtest/gtest.h>

#include "app/ardel_app.h"
#include "support/fake_event_loop.h"

namespace ardel {
namespace {

using testing::TFakeEventLoop;
using testing::TRecordingErrorSink;

class StationReportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // As the start-up leaves them; no port: what is sent goes nowhere.
    app_.Queues().SetRepeatCntr(kRepeatStart);
    app_.Queues().SetTransmitPermit(true);
    app_.StationTable().WriteHeadings();
  }
  // Runs the tick; before each run, the answer (if any) to the command that the last
  // run sent for the first time.
  void RunTicks(int runs, const std::function<std::string(const std::string& sent)>& answer) {
    for (int i = 0; i < runs; ++i) {
      const TLineList& commands = app_.Queues().Commands();
      if (commands.Count() > 0 && app_.Queues().RepeatCntr() == kRepeatStart - 1) {
        const std::string reply = answer(commands.At(commands.Count() - 1));
        if (!reply.empty()) app_.Queues().EnqueueAnswer(reply);
      }
      app_.Timer1Timer();
    }
  }
  const std::vector<std::string>& Information() { return app_.Information().Lines(); }

  TFakeEventLoop loop_;
  TRecordingErrorSink errors_;
  TArdelApp app_{loop_, errors_};
};

TEST_F(StationReportsTest, ACommandWithoutAnswerGetsOneLineAnAnsweredOneNone) {
  struct Case {
    const char* caption;
    const char* commandTemplate;
    int tag;
    const char* answer;  // empty: none
    std::vector<std::string> lines;
  } cases[] = {
      {"Signal_On", "ABC000000000", 0xFF, "",
       {"Signal_On to FFFFFF80: no answer after three transmissions, dropped"}},
      {"Signal_On", "ABC000000000", 0xFF, "8B AC 00000000 FFFFFF80 FF", {}},
      {"AO", "6B0530000000", 0x10, "", {"AO to FFFFFF80: no answer after three transmissions, dropped"}},
      {"change now", "ABD000000000", 0x00, "8B D0 FF800000 FFFFFF80 F7",
       {"Station base ID change from FFFFFF80 to FF800000",
        " ended with return Code: F7  (Station not in LRN-Mode. New ID not set)",
        " -> Dont forget to build a new Station-Tab with new SBI..."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.caption) + " answered by '" + c.answer + "'");
    app_.Information().Clear();
    app_.StationTab().Button12Click(c.caption, c.commandTemplate, c.tag);
    RunTicks(6, [&](const std::string&) { return std::string(c.answer); });
    EXPECT_EQ(app_.Queues().Commands().Count(), 0u);
    EXPECT_EQ(Information(), c.lines);
  }
  // A command of the tab "Test" times out on the link log only.
  app_.Information().Clear();
  app_.SendCommandLine();
  RunTicks(6, [](const std::string&) { return std::string(); });
  EXPECT_EQ(app_.Queues().Commands().Count(), 0u);
  EXPECT_TRUE(Information().empty());
  EXPECT_TRUE(errors_.shown.empty());
}

TEST_F(StationReportsTest, ReadInfiSaysHowManyEntriesCameBack) {
  app_.StationTab().DisplayedStation().sbi.SetText("FFFFFF00");
  app_.StationTab().Button11Click();
  // Entries 0 to B answer; C to F never do.
  RunTicks(16 * 4 + 2, [](const std::string& sent) {
    const std::string index = sent.substr(sent.size() - 2);
    if (index >= "0C") return std::string();
    return "8B B4 1234" + index + "00 FFFFFF00 " + index;
  });
  EXPECT_EQ(app_.Queues().Commands().Count(), 0u);
  EXPECT_EQ(Information(), (std::vector<std::string>{
                               "read INFI[0C] to FFFFFF00: no answer after three transmissions, dropped",
                               "read INFI[0D] to FFFFFF00: no answer after three transmissions, dropped",
                               "read INFI[0E] to FFFFFF00: no answer after three transmissions, dropped",
                               "read INFI[0F] to FFFFFF00: no answer after three transmissions, dropped",
                               "read INFI from FFFFFF00: 12 of 16 entries came back",
                           }));
  // The last answer also completes the last command: it still counts.
  app_.Information().Clear();
  app_.StationTab().Button11Click();
  RunTicks(16 * 2 + 2, [](const std::string& sent) {
    const std::string index = sent.substr(sent.size() - 2);
    return "8B B4 12340000 FFFFFF00 " + index;
  });
  EXPECT_EQ(Information(), std::vector<std::string>{"read INFI from FFFFFF00: 16 of 16 entries came back"});
}

TEST_F(StationReportsTest, ANewBaseIdIsOfferedAfter00AndTakenOnlyWhenPressed) {
  app_.StationTab().SelectedStation().Set(1);
  app_.StationTab().TabControl1Change();
  app_.StationTab().DisplayedStation().sbi.SetText("FFFFFF00");
  app_.StationTab().StationCommandFields().newSbi.SetText("FF800100");
  app_.StationTab().Button12Click("change now", "ABD000000000", 0);
  RunTicks(2, [](const std::string&) { return std::string("8B D0 FF800100 FFFFFF00 00"); });
  ASSERT_TRUE(app_.StationTab().StationReports().OfferShown().Value());
  EXPECT_EQ(app_.StationTab().StationReports().OfferCaption().Text(), "take FF800100 as SBI of station 1");
  EXPECT_EQ(Information().size(), 3u);
  // Nothing has changed yet.
  EXPECT_EQ(app_.StationTable().Cell(StationColumn(1), kSbiRow), "");
  EXPECT_EQ(app_.StationTab().DisplayedStation().sbi.Text(), "FFFFFF00");

  app_.StationTab().Button27Click();
  EXPECT_FALSE(app_.StationTab().StationReports().OfferShown().Value());
  EXPECT_EQ(app_.StationTable().Cell(StationColumn(1), kSbiRow), "FF800100");
  EXPECT_EQ(app_.StationTab().DisplayedStation().sbi.Text(), "FF800100");
  EXPECT_EQ(Information().back(), "Station 1 has the SBI FF800100 in its column now");

  // Another answer than 00 withdraws an offer.
  app_.Queues().EnqueueAnswer("8B D0 FF800200 FF800100 00");
  app_.Timer1Timer();
  EXPECT_TRUE(app_.StationTab().StationReports().OfferShown().Value());
  app_.Queues().EnqueueAnswer("8B D0 FF800300 FF800200 F7");
  app_.Timer1Timer();
  EXPECT_FALSE(app_.StationTab().StationReports().OfferShown().Value());
  app_.StationTab().Button27Click();
  EXPECT_EQ(app_.StationTable().Cell(StationColumn(1), kSbiRow), "FF800100");
}

}  // namespace
}  // namespace ardel
