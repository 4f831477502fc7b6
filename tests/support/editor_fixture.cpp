#include "support/editor_fixture.h"

#include <QSettings>
#include <QTest>

#include "app/form1.h"
#include "midi/midi_output.h"
#include "midi/platform/virtual_backend.h"
#include "support/test_support.h"
#include "table/form2.h"
#include "table/form3.h"

namespace testing_support {

TForm1* StartEditorWindows() {
  Form1 = new TForm1;
  Form2 = new TForm2;
  Form3 = new TForm3;
  Form1->show();
  return Form1;
}

void CloseEditorWindows() {
  delete Form3;
  delete Form2;
  delete Form1;
  Form3 = nullptr;
  Form2 = nullptr;
  Form1 = nullptr;
}

void EditorFixture::SetUp() {
  ASSERT_TRUE(settingsDir_.isValid());
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
  auto backend = std::make_unique<VirtualMidiBackend>();
  midi = backend.get();
  midi->AddOutputDevice("Virtual Out", MOD_MIDIPORT);
  midi->AddInputDevice("Virtual In");
  SetMidiBackend(std::move(backend));
  dialogs = std::make_unique<ui::ScriptedDialogs>();
  PacingClock::Install(&clock);

  form = StartEditorWindows();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
  if (form->MidiOutput1->State() != mosOpen) {
    form->MidiOutput1->SetDeviceID(0);
    ASSERT_TRUE(form->MidiOutput1->Open());
  }
}

void EditorFixture::TearDown() {
  CloseEditorWindows();
  form = nullptr;
  PacingClock::Install(nullptr);
  dialogs.reset();
  SetMidiBackend(nullptr);
  midi = nullptr;
}

std::vector<std::string> EditorFixture::SentHex() {
  const auto sent = midi->Sent(0);
  std::vector<std::string> texts;
  for (size_t i = seen_; i < sent.size(); ++i) texts.push_back(Hex(sent[i]));
  return texts;
}

void EditorFixture::ClearSent() { seen_ = midi->Sent(0).size(); }

}  // namespace testing_support
