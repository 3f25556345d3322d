// The encoded note (task fields in a one-line header before the note) and the note as HTML.
#include <gtest/gtest.h>

#include <string>

#include "helpers/global_helpers_dates.h"
#include "kit/text/date_format.h"
#include "model/node_view.h"
#include "model/tree_builder.h"

namespace {

class NoteEncodingTest : public ::testing::Test {
 protected:
  NoteEncodingTest() { topic_ = tree_.central("Topic"); }

  static kit::Date day(int y, int m, int d) { return *kit::dateFromLocalComponents({y, m, d, 0, 0, 0}); }
  static std::string asNoteDate(kit::Date d) { return *GlobalHelpers::createStringFromDate(d, 2); }

  TreeBuilder tree_;
  NodeView* topic_ = nullptr;
};

}  // namespace

// ---- Writing ------------------------------------------------------------------------------------

TEST_F(NoteEncodingTest, WithoutTaskDataTheEncodedNoteIsTheNote) {
  topic_->setStrNote("Just a note\nover two lines");
  EXPECT_EQ(topic_->getEncodedNote(), "Just a note\nover two lines");
  topic_->setStrNote("");
  EXPECT_EQ(topic_->getEncodedNote(), "");
}

TEST_F(NoteEncodingTest, ProgressAloneGivesOneFieldTwoBarsAndALineBreak) {
  topic_->setProgress(40, false);
  topic_->setStrNote("word");
  EXPECT_EQ(topic_->getEncodedNote(), "Progress:40%||\nword");
}

TEST_F(NoteEncodingTest, FieldsComeInTheirFixedOrder) {
  const kit::Date start = day(2024, 3, 5), due = day(2024, 4, 30);
  topic_->setResources("Bob,Ann", "");
  topic_->setEffort("2h", false);
  topic_->setProgress(0, false);
  topic_->setDueDate(due, false);
  topic_->setStartDate(start, false);
  EXPECT_EQ(topic_->getEncodedNote(), "Start:" + asNoteDate(start) + "|Due:" + asNoteDate(due) +
                                          "|Progress:0%|Effort:2h|Resources:Ann,Bob||\n");
}

TEST_F(NoteEncodingTest, ValuesAreXMLEscaped) {
  topic_->setResources("Tom & Jerry;<Crew>", "");
  EXPECT_EQ(topic_->getEncodedNote(), "Resources:&lt;Crew&gt;,Tom &amp; Jerry||\n");
}

// ---- Reading ---------------------------------------------------------------------------------------

TEST_F(NoteEncodingTest, ANoteWithoutHeaderLeavesTheTaskFieldsAlone) {
  topic_->setProgress(30, false);
  topic_->setEffort("1d", false);
  topic_->setEncodedNote("plain note | with a bar");
  EXPECT_EQ(topic_->strNote(), "plain note | with a bar");
  EXPECT_EQ(topic_->percentComplete(), 30);
  EXPECT_EQ(topic_->getEffort(), "1d");
}

TEST_F(NoteEncodingTest, NilOrEmptyTextEmptiesOnlyTheNote) {
  topic_->setStrNote("old");
  topic_->setProgress(30, false);
  topic_->setEncodedNote(std::nullopt);
  EXPECT_EQ(topic_->strNote(), "");
  topic_->setStrNote("old");
  topic_->setEncodedNote("");
  EXPECT_EQ(topic_->strNote(), "");
  EXPECT_EQ(topic_->percentComplete(), 30);
}

TEST_F(NoteEncodingTest, ProgressAndNoteRoundTrip) {
  topic_->setEffort("3h", false);
  topic_->setResources("Ann", "");
  topic_->setStartDate(day(2020, 1, 1), false);
  topic_->setEncodedNote("Progress:40%||\nword");
  EXPECT_EQ(topic_->percentComplete(), 40);
  // Fields missing from the header are cleared.
  EXPECT_FALSE(topic_->startDate());
  EXPECT_FALSE(topic_->dueDate());
  EXPECT_FALSE(topic_->getEffort());
  EXPECT_TRUE(topic_->getResources().empty());
  EXPECT_EQ(topic_->strNote(), "word");
}

TEST_F(NoteEncodingTest, EveryFieldSurvivesARoundTrip) {
  const kit::Date start = day(2024, 3, 5), due = day(2024, 4, 30);
  topic_->setStartDate(start, false);
  topic_->setDueDate(due, false);
  topic_->setProgress(75, false);
  topic_->setEffort("2.50h", false);
  topic_->setResources("Tom & Jerry,<Crew>", "");
  topic_->setStrNote("  first line\nsecond line  ");
  const std::string encoded = topic_->getEncodedNote();

  NodeView* copy = tree_.add(topic_, "copy");
  copy->setEncodedNote(encoded);
  EXPECT_EQ(copy->startDate(), start);
  EXPECT_EQ(copy->dueDate(), due);
  EXPECT_EQ(copy->percentComplete(), 75);
  EXPECT_EQ(copy->getEffort(), "2.50h");
  EXPECT_EQ(copy->getResourceNames(), "<Crew>,Tom & Jerry");
  // The note after the header is trimmed.
  EXPECT_EQ(copy->strNote(), "first line\nsecond line");
  EXPECT_EQ(copy->getEncodedNote(), topic_->getEncodedNote().substr(0, encoded.find("||") + 3) +
                                        "first line\nsecond line");
}

TEST_F(NoteEncodingTest, AHeaderWithoutTheClosingBarsKeepsTheOldNote) {
  topic_->setStrNote("kept");
  topic_->setEncodedNote("Effort:4h|");
  EXPECT_EQ(topic_->getEffort(), "4h");
  EXPECT_EQ(topic_->strNote(), "kept");
}

TEST_F(NoteEncodingTest, LabelsMatchWholeHeaderFieldsInAnyCase) {
  topic_->setEncodedNote("PROGRESS:15%| effort:1w||\n note ");
  EXPECT_EQ(topic_->percentComplete(), 15);
  EXPECT_EQ(topic_->getEffort(), "1w");
  EXPECT_EQ(topic_->strNote(), "note");
}

TEST_F(NoteEncodingTest, KeysInsideWordsOrAfterTheHeaderAreNote) {
  topic_->setProgress(30, false);
  topic_->setEffort("1d", false);
  topic_->setEncodedNote("Overdue: pay the bill | urgent");
  EXPECT_EQ(topic_->strNote(), "Overdue: pay the bill | urgent");
  EXPECT_EQ(topic_->percentComplete(), 30);
  EXPECT_EQ(topic_->getEffort(), "1d");
  EXPECT_FALSE(topic_->dueDate());

  // A field-like text in the note after the header sets nothing.
  const std::string due = asNoteDate(day(2024, 4, 30));
  topic_->setEncodedNote("Progress:40%||\nmoved |Due:" + due + "| and |Effort:3h|");
  EXPECT_EQ(topic_->percentComplete(), 40);
  EXPECT_FALSE(topic_->dueDate());
  EXPECT_FALSE(topic_->getEffort());
  EXPECT_EQ(topic_->strNote(), "moved |Due:" + due + "| and |Effort:3h|");

  // An empty value does not reach into the next field.
  topic_->setEncodedNote("Resources:|Effort:2h||\nx");
  EXPECT_TRUE(topic_->getResources().empty());
  EXPECT_EQ(topic_->getEffort(), "2h");
}

TEST_F(NoteEncodingTest, UnreadableValuesGiveNoValue) {
  topic_->setStartDate(day(2020, 1, 1), false);
  topic_->setEncodedNote("Start:not a date|Progress:lots|||\nx");
  EXPECT_FALSE(topic_->startDate());
  EXPECT_EQ(topic_->percentComplete(), 0);  // no digits read as 0, as typed progress does
  EXPECT_EQ(topic_->strNote(), "|\nx");
}

TEST_F(NoteEncodingTest, ProgressFromTextStaysOnTheScale) {
  topic_->setPercentCompleteFromString("250%");
  EXPECT_EQ(topic_->percentComplete(), 100);
  topic_->setPercentCompleteFromString("-5");
  EXPECT_EQ(topic_->percentComplete(), -1);
  topic_->setPercentCompleteFromString(" 40 percent");
  EXPECT_EQ(topic_->percentComplete(), 40);
  topic_->setPercentCompleteFromString("99999999999999999999");
  EXPECT_EQ(topic_->percentComplete(), 100);
  topic_->setPercentCompleteFromString("");
  EXPECT_EQ(topic_->percentComplete(), -1);
  topic_->setPercentCompleteFromString("7");
  topic_->setPercentCompleteFromString(std::nullopt);
  EXPECT_EQ(topic_->percentComplete(), -1);
}

// ---- HTML ------------------------------------------------------------------------------------------

TEST_F(NoteEncodingTest, TheHTMLNoteListsTheFieldsThenTheEscapedNote) {
  topic_->setStrLink("http://a.example/?x=1&y=2");
  topic_->setProgress(50, false);
  topic_->setEffort("2h", false);
  topic_->setResources("Ann", "");
  topic_->setStrNote("<tag> & café\nline");
  EXPECT_EQ(topic_->getNoteAsHTML(false),
            "<b>Link</b>:http://a.example/?x=1&amp;y=2<br/><b>Progress</b>:50%<br/><b>Effort</b>:2 Hours<br/>"
            "<b>Resources</b>:Ann<br/><br/>&lt;tag&gt; &amp; caf&eacute;<br/>line");
}

TEST_F(NoteEncodingTest, WithoutLinkifyOnlyMailAddressesBecomeLinks) {
  topic_->setStrNote("Write to me@example.com or see http://example.com and www.example.org");
  EXPECT_EQ(topic_->getNoteAsHTML(false),
            "Write to <a href=\"mailto:me@example.com\">me@example.com</a> or see http://example.com and "
            "www.example.org");
}

TEST_F(NoteEncodingTest, LinkifyTurnsWebAddressesIntoLinks) {
  topic_->setStrNote("See https://example.com/page and www.example.org\nor http://www.example.net");
  EXPECT_EQ(topic_->getNoteAsHTML(true),
            "See <a href=\"https://example.com/page\">example.com/page</a> and "
            "<a href=\"http://www.example.org\">www.example.org</a><br/>or "
            "<a href=\"http://www.example.net\">www.example.net</a>");
}


TEST_F(NoteEncodingTest, MailLinksInEveryLineAndLinkifiedAddresses) {
  topic_->setStrLink("mailto:l@m.com");
  topic_->setStrNote("Ann <ann@x.org>\nsee http://b.org/q?to=c@d.net, www.e.com/p or HTTPS://F.org.\n"
                     "bob.smith@mail.co.uk. x>www.g.com /www.h.com caf\u00e9@i.org 1.2@3.info5");
  const std::string head = "<b>Link</b>:mailto:<a href=\"mailto:l@m.com\">l@m.com</a><br/><br/>"
                           "Ann &lt;<a href=\"mailto:ann@x.org\">ann@x.org</a>&gt;<br/>see ";
  const std::string tail = "<a href=\"mailto:bob.smith@mail.co.uk\">bob.smith@mail.co.uk</a>. x&gt;";
  const std::string end = " /www.h.com caf&eacute;@i.org <a href=\"mailto:1.2@3.info\">1.2@3.info</a>5";
  EXPECT_EQ(topic_->getNoteAsHTML(false), head + "http://b.org/q?to=<a href=\"mailto:c@d.net\">c@d.net</a>, "
                                                 "www.e.com/p or HTTPS://F.org.<br/>" + tail + "www.g.com" + end);
  // The mail pattern also runs inside the web links it finds, as it always has.
  EXPECT_EQ(topic_->getNoteAsHTML(true),
            head + "<a href=\"http://b.org/q?to=<a href=\"mailto:c@d.net\">c@d.net</a>\">b.org/q?to=<a "
                   "href=\"mailto:c@d.net\">c@d.net</a></a>, <a href=\"http://www.e.com/p\">www.e.com/p</a> or "
                   "<a href=\"HTTPS://F.org\">F.org</a>.<br/>" + tail + "<a href=\"http://www.g.com\">www.g.com</a>" + end);
}

TEST_F(NoteEncodingTest, ALongNoteOfAddressCharactersFinishes) {
  // The mail pattern used to retry the whole run from each of its letters.
  const std::string note = std::string(200000, 'w') + "@x";
  topic_->setStrNote(note);
  EXPECT_EQ(topic_->getNoteAsHTML(false), note);
  EXPECT_EQ(topic_->getNoteAsHTML(true), "<a href=\"http://" + note + "\">" + note + "</a>");
}
