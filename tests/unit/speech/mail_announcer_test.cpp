#include "speech/mail_announcer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

namespace bc {
namespace {

class RecordingSpeech final : public SpeechOutput {
 public:
  void Speak(const std::string& text) override {
    std::lock_guard lock(mutex);
    if (!text.empty()) {
      spoken.push_back(text);
    }
  }
  void StopSpeaking() override { ++stops; }
  std::mutex mutex;
  std::vector<std::string> spoken;
  int stops = 0;
};

class RecordingSound final : public SoundOutput {
 public:
  void PlaySoundFile(const std::string& path) override { played.push_back(path); }
  void StopSound() override { ++stops; }
  std::vector<std::string> played;
  int stops = 0;
};

// A list whose rows show the store's entries in order, as after a rebuild.
class FakeList final : public ListSelection {
 public:
  explicit FakeList(const EnvelopeStore& store) : store_(store) {}
  int RowCount() const override { return store_.Count(); }
  std::vector<long long> SelectedMessageIds() const override {
    std::vector<long long> ids;
    for (int row : selected) {
      ids.push_back(std::stoll(store_.Get(row).messageId));
    }
    return ids;
  }
  void SelectAll() override {
    for (int row = 0; row < RowCount(); ++row) {
      selected.insert(row);
    }
  }
  void SelectOnly(int row) override {
    selected.clear();
    if (row >= 0 && row < RowCount()) {
      selected.insert(row);
    }
  }
  std::set<int> selected;

 private:
  const EnvelopeStore& store_;
};

AppOptions AllSpoken() {
  AppOptions o;
  o.SpeakFrom = o.SpeakSubject = o.SpeakAddress = o.SpeakReceived = 1;
  o.SpeakSize = o.SpeakAccount = o.SpeakAttachment = o.SpeakContent = 1;
  return o;
}

Envelope Message(int index, int account = 0) {
  Envelope e;
  const std::string n = std::to_string(index);
  e.from = "Sender " + n;
  e.subject = "Subject " + n;
  e.address = "s" + n + "@example.org";
  e.received = "2024-05-0" + n + " 10:00";
  e.size = "1.500 KB";
  e.account = "checked-as-" + n;
  e.attachment = "0";
  e.content = "Body " + n;
  e.messageId = std::to_string(MakeMessageId(index, account));
  e.messageKey = "<" + n + "@example.org>";
  return e;
}

TEST(ComposeSpokenTextTest, DefaultOrderAndBothLabelSets) {
  const Envelope e = Message(1);
  EXPECT_EQ(ComposeSpokenText(AllSpoken(), e, LabelSet::Announcement),
            "Mail from: Sender 1; Subject is: Subject 1; size is: 1.500 KB; "
            "Received time: 2024-05-01 10:00; Mail Account is: checked-as-1; attachment: 0; "
            "content is: Body 1; Address is: s1@example.org; ");
  const std::string list = ComposeSpokenText(AllSpoken(), e, LabelSet::List);
  EXPECT_NE(list.find("Adress is: s1@example.org; "), std::string::npos);
  EXPECT_EQ(list.find("Address is: "), std::string::npos);
}

TEST(ComposeSpokenTextTest, EmptyValuesFlagsAndCustomOrder) {
  AppOptions o;
  o.SpeakFrom = o.SpeakSubject = 1;
  Envelope e;
  e.from = "Sales Desk";
  EXPECT_EQ(ComposeSpokenText(o, e, LabelSet::List), "Mail from: Sales Desk; Subject is: Empty; ");

  // Only the marked fields say "Empty"; a flag other than 1 is off.
  o = AllSpoken();
  o.SpeakFrom = 2;
  EXPECT_EQ(ComposeSpokenText(o, Envelope{}, LabelSet::Announcement),
            "Subject is: Empty; size is: ; Received time: ; Mail Account is: ; attachment: ; "
            "content is: Empty; Address is: Empty; ");

  // Shared positions speak both in field order; out-of-range and missing keys are silent.
  o.SpeakFrom = 1;
  o.SpeakOrder = "from=1,subject=1,address=0,received=8,size=-1,account=7,";
  EXPECT_EQ(ComposeSpokenText(o, Message(2), LabelSet::Announcement),
            "Address is: s2@example.org; Mail from: Sender 2; Subject is: Subject 2; "
            "Mail Account is: checked-as-2; ");

  o.SpeakFrom = o.SpeakSubject = o.SpeakAddress = o.SpeakReceived = 0;
  o.SpeakSize = o.SpeakAccount = o.SpeakAttachment = o.SpeakContent = 0;
  EXPECT_EQ(ComposeSpokenText(o, Message(2), LabelSet::Announcement), "");
}

// The notice for the messages of one pass: window text (names held together by
// no-break spaces) and the notification's headline and detail.
TEST(NewMailNoticeTest, SaysHowManyAndFromWhom) {
  const std::string nbsp = "\u00A0";
  const auto arrived = [](std::vector<std::string> senders) {
    std::vector<Notice> notices;
    for (const std::string& from : senders) {
      notices.push_back(NewMailNotice(from, "Subject of " + from));
    }
    return NewMailNotice(notices);
  };
  EXPECT_EQ(
      arrived({"Sales Desk"}),
      (Notice{"Brindlecast", "You have received a new email message from 'Sales" + nbsp + "Desk'",
              "Sales Desk", "Subject of Sales Desk"}));
  EXPECT_EQ(
      arrived({"Priya Raman", "Jürgen Größ", "Ann"}),
      (Notice{"Brindlecast",
              "3 new messages, from Priya" + nbsp + "Raman, Jürgen" + nbsp + "Größ and 1 more",
              "3 new messages", "From Priya Raman, Jürgen Größ and 1 more"}));
  // A sender named once; one without a name is counted, not named.
  EXPECT_EQ(arrived({"Ann", "Ann", "Bo"}).body, "3 new messages, from Ann and Bo");
  EXPECT_EQ(arrived({"", ""}).body, "2 new messages");
  std::vector<std::string> ten;
  for (int i = 1; i <= 10; ++i) {
    ten.push_back("Sender " + std::to_string(i));
  }
  EXPECT_EQ(arrived(ten).detail, "From Sender 1, Sender 2 and 8 more");
  // A long name is cut, never a line of its own to split.
  EXPECT_EQ(NewMailNotice(std::string(30, 'x')).body,
            "You have received a new email message from '" + std::string(23, 'x') + "\u2026'");
}

class MailAnnouncerTest : public ::testing::Test {
 protected:
  MailAnnouncerTest()
      : announcer(speech, sound, store,
                  [this](const Notice& notice) { notices.push_back(notice); }),
        list(store) {
    announcer.SetList(&list);
    announcer.SetWindowReady(true);
    accounts.resize(2);
    accounts[0].UserName = "alice";
    accounts[1].UserName = "bob";
  }
  void Fill(int count) {
    for (int i = 0; i < count; ++i) {
      store.Append(Message(i));
    }
  }

  RecordingSpeech speech;
  RecordingSound sound;
  EnvelopeStore store;
  std::vector<Notice> notices;
  MailAnnouncer announcer;
  FakeList list;
  std::vector<MailAccount> accounts;
};

TEST_F(MailAnnouncerTest, SpeechAnnouncesOncePerRunWithNotice) {
  AppOptions o;
  o.SpeakFrom = o.SpeakSubject = 1;
  Envelope e = Message(1);
  e.subject.clear();
  e.from = "Sales Desk";
  announcer.AnnounceMessage(o, e);
  announcer.AnnounceMessage(o, e);  // found again by a later check
  ASSERT_EQ(speech.spoken.size(), 1u);
  EXPECT_EQ(speech.spoken[0],
            "You have received a new email: Mail from: Sales Desk; Subject is: Empty; ");
  EXPECT_EQ(notices, std::vector<Notice>{NewMailNotice("Sales Desk")});
  EXPECT_EQ(announcer.LastNotice(), NewMailNotice("Sales Desk"));
  EXPECT_EQ(announcer.LastSender(), "Sales Desk");
  EXPECT_EQ(announcer.AnnounceQueue(), std::vector<std::string>{e.messageKey});
  EXPECT_EQ(announcer.AnnounceIdQueue(), std::vector<std::string>{e.messageId});

  // With every flag off the prefix is still said.
  announcer.AnnounceMessage(AppOptions{}, Message(2));
  EXPECT_EQ(speech.spoken.back(), kAnnouncementPrefix);
}

TEST_F(MailAnnouncerTest, EveryMethodAnnouncesOnce) {
  AppOptions o;
  o.wavFile = "/sounds/ding.wav";
  o.NotificationMethod = 1;
  announcer.AnnounceMessage(o, Message(1));
  announcer.AnnounceMessage(o, Message(2));
  announcer.AnnounceMessage(o, Message(1));
  // Each new message restarts the sound; no speech, no notice, no queue.
  EXPECT_EQ(sound.played, (std::vector<std::string>{o.wavFile, o.wavFile}));
  EXPECT_TRUE(speech.spoken.empty());
  EXPECT_TRUE(notices.empty());
  EXPECT_TRUE(announcer.AnnounceQueue().empty());

  o.NotificationMethod = 2;
  announcer.AnnounceMessage(o, Message(3));
  o.NotificationMethod = 0;
  announcer.AnnounceMessage(o, Message(3));  // already announced silently
  EXPECT_TRUE(speech.spoken.empty());

  o.NotificationMethod = 7;  // announces nothing, and does not remember the key
  announcer.AnnounceMessage(o, Message(4));
  EXPECT_EQ(announcer.AnnouncedKeys(),
            (std::vector<std::string>{"<1@example.org>", "<2@example.org>", "<3@example.org>"}));
  o.NotificationMethod = 0;
  announcer.AnnounceMessage(o, Message(4));
  EXPECT_EQ(speech.spoken.size(), 1u);
}

TEST_F(MailAnnouncerTest, ManyNewMessagesAreCountedInOneSentence) {
  EXPECT_EQ(NewMessagesSentence(2000), "You have 2,000 new messages");
  EXPECT_EQ(NewMessagesSentence(1234567), "You have 1,234,567 new messages");
  EXPECT_EQ(NewMessagesSentence(999), "You have 999 new messages");
  struct Row {
    const char* over;
    int count;
    size_t spoken;  // texts spoken once the pass ended
    const char* last;
  };
  const Row rows[] = {
      {"5", 30, 1, "You have 30 new messages"},
      {"5", 5, 5, "You have received a new email: "},
      {"", 3, 3, "You have received a new email: "},
      {"0", 2, 2, "You have received a new email: "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.over) + " " + std::to_string(row.count));
    RecordingSpeech voice;
    std::vector<Notice> shown;
    MailAnnouncer fresh(voice, sound, store, [&](const Notice& n) { shown.push_back(n); });
    fresh.SetWindowReady(true);
    AppOptions o;
    o.AnnounceCountOver = row.over;
    fresh.BeginPass(o);
    for (int i = 0; i < row.count; ++i) {
      fresh.AnnounceMessage(o, Message(i));
      fresh.AnnounceMessage(o, Message(i));  // listed twice: counted once
    }
    Envelope old = Message(99);
    old.isNew = false;  // reported by an earlier pass: never again
    fresh.AnnounceMessage(o, old);
    fresh.EndPass(o);
    EXPECT_EQ(voice.spoken.size(), row.spoken);
    EXPECT_EQ(shown.size(), row.spoken);
    EXPECT_EQ(voice.spoken.back().substr(0, std::string(row.last).size()), row.last);
    EXPECT_EQ(fresh.AnnouncedKeys().size(), static_cast<size_t>(row.count));
    // The next pass finds them announced.
    fresh.BeginPass(o);
    fresh.AnnounceMessage(o, Message(0));
    fresh.EndPass(o);
    EXPECT_EQ(voice.spoken.size(), row.spoken);
  }
}

TEST_F(MailAnnouncerTest, NoNoticeBeforeTheWindowIsReady) {
  announcer.SetWindowReady(false);
  announcer.AnnounceMessage(AppOptions{}, Message(1));
  EXPECT_TRUE(notices.empty());
  EXPECT_EQ(announcer.LastSender(), "");
  EXPECT_EQ(speech.spoken.size(), 1u);
}

TEST_F(MailAnnouncerTest, ReadEmailOfThreeMovesTheSelectionItemByItem) {
  Fill(3);
  list.selected = {1};
  ASSERT_TRUE(announcer.ReadEmail(AllSpoken(), accounts));
  EXPECT_EQ(speech.stops, 2);  // Stop, then the voice is stopped again
  EXPECT_EQ(sound.stops, 1);
  EXPECT_EQ(speech.spoken.size(), 3u);
  EXPECT_EQ(list.selected, (std::set<int>{0, 1, 2}));
  EXPECT_TRUE(announcer.readAll());
  EXPECT_TRUE(announcer.playActive());

  announcer.FinishSpokenEntry();
  EXPECT_EQ(list.selected, std::set<int>{1});
  announcer.FinishSpokenEntry();
  EXPECT_EQ(list.selected, std::set<int>{2});
  announcer.FinishSpokenEntry();
  EXPECT_EQ(list.selected, std::set<int>{2});
  EXPECT_FALSE(announcer.readAll());
  EXPECT_TRUE(announcer.ReadQueue().empty());
}

TEST_F(MailAnnouncerTest, PlayTwiceSpeaksEachSelectedMessageOnceWithCurrentAccountNames) {
  Fill(2);
  store.Append(Message(2, 1));  // a message of the second account
  list.selected = {0, 2};
  EXPECT_TRUE(announcer.PlaySelected(AllSpoken(), accounts));
  EXPECT_TRUE(announcer.PlaySelected(AllSpoken(), accounts));
  ASSERT_EQ(speech.spoken.size(), 2u);
  EXPECT_NE(speech.spoken[0].find("Mail Account is: alice; "), std::string::npos);
  EXPECT_NE(speech.spoken[1].find("Mail Account is: bob; "), std::string::npos);
  EXPECT_EQ(speech.spoken[0].rfind("Mail from: Sender 0; ", 0), 0u);  // no prefix
  EXPECT_EQ(announcer.ReadIdQueue(),
            (std::vector<std::string>{"0", std::to_string(MakeMessageId(2, 1))}));

  // A Play of chosen messages leaves the selection alone as they are spoken.
  announcer.FinishSpokenEntry();
  announcer.FinishSpokenEntry();
  EXPECT_EQ(list.selected, (std::set<int>{0, 2}));
  // Once queued texts are done the same selection can be played again.
  EXPECT_TRUE(announcer.PlaySelected(AllSpoken(), accounts));
  EXPECT_EQ(speech.spoken.size(), 4u);
}

TEST_F(MailAnnouncerTest, PlayWithoutRowsOrSelection) {
  EXPECT_FALSE(announcer.PlaySelected(AllSpoken(), accounts));
  EXPECT_FALSE(announcer.playActive());  // an empty list does not start a Play
  Fill(2);
  list.selected.clear();
  EXPECT_FALSE(announcer.PlaySelected(AllSpoken(), accounts));
  EXPECT_TRUE(announcer.playActive());  // rows but none selected: playActive stays set
  EXPECT_TRUE(speech.spoken.empty());
}

TEST_F(MailAnnouncerTest, AnnouncementsMoveTheSelectionUntilAPlayEndedByItself) {
  Fill(3);
  AppOptions o;
  for (int i = 0; i < 3; ++i) {
    announcer.AnnounceMessage(o, store.Get(i));
  }
  announcer.FinishSpokenEntry();
  EXPECT_EQ(list.selected, std::set<int>{1});
  announcer.FinishSpokenEntry();
  EXPECT_EQ(list.selected, std::set<int>{2});
  announcer.FinishSpokenEntry();  // the last one does not move it
  EXPECT_EQ(list.selected, std::set<int>{2});

  // A Play that ended by itself leaves playActive set...
  list.selected = {0};
  announcer.PlaySelected(AllSpoken(), accounts);
  announcer.FinishSpokenEntry();
  store.Append(Message(5));
  store.Append(Message(6));
  announcer.AnnounceMessage(o, store.Get(3));
  announcer.AnnounceMessage(o, store.Get(4));
  announcer.FinishSpokenEntry();
  EXPECT_EQ(list.selected, std::set<int>{0});  // ...so announcements do not move it
  // until Stop.
  announcer.Stop();
  store.Append(Message(7));
  store.Append(Message(8));
  announcer.AnnounceMessage(o, store.Get(5));
  announcer.AnnounceMessage(o, store.Get(6));
  announcer.FinishSpokenEntry();
  EXPECT_EQ(list.selected, std::set<int>{6});
}

TEST_F(MailAnnouncerTest, StopEmptiesQueuesAndFlagsButKeepsAnnouncedKeys) {
  Fill(2);
  announcer.AnnounceMessage(AppOptions{}, store.Get(0));
  list.selected = {1};
  announcer.ReadEmail(AllSpoken(), accounts);  // Stop first: the announcement is dropped
  EXPECT_TRUE(announcer.AnnounceQueue().empty());
  announcer.AnnounceMessage(AppOptions{}, store.Get(1));
  announcer.Stop();
  EXPECT_TRUE(announcer.AnnounceQueue().empty());
  EXPECT_TRUE(announcer.AnnounceIdQueue().empty());
  EXPECT_TRUE(announcer.ReadQueue().empty());
  EXPECT_TRUE(announcer.ReadIdQueue().empty());
  EXPECT_FALSE(announcer.playActive());
  EXPECT_FALSE(announcer.readAll());
  EXPECT_EQ(announcer.AnnouncedKeys().size(), 2u);
  // Finishing with nothing queued changes nothing.
  list.selected = {0};
  announcer.FinishSpokenEntry();
  EXPECT_EQ(list.selected, std::set<int>{0});
}

TEST_F(MailAnnouncerTest, WorkerAnnouncesWhileTheUiDrains) {
  Fill(200);
  const auto entries = store.Snapshot();
  std::thread worker([&] {
    for (const Envelope& e : entries) {
      announcer.AnnounceMessage(AppOptions{}, e);
    }
  });
  int drained = 0;
  while (drained < 200) {
    if (!announcer.AnnounceQueue().empty()) {
      announcer.FinishSpokenEntry();
      ++drained;
    }
  }
  worker.join();
  EXPECT_EQ(speech.spoken.size(), 200u);
  EXPECT_EQ(announcer.AnnouncedKeys().size(), 200u);
  EXPECT_TRUE(announcer.AnnounceQueue().empty());
}

}  // namespace
}  // namespace bc
