#include <QStringList>
#include <cstring>

#include "app/form1.h"
#include "midi/midi_input.h"
#include "midi/midi_output.h"
#include "midi/platform/midi_backend.h"

namespace {

// The names the service gives its devices now, in device order; a device that
// goes while it is asked ends the list there.
template <typename Caps>
QStringList DeviceNames(UINT count, MMRESULT (*getCaps)(UINT_PTR, Caps*, UINT)) {
  QStringList names;
  for (UINT i = 0; i < count; ++i) {
    Caps caps{};
    if (getCaps(i, &caps, sizeof caps) != MMSYSERR_NOERROR) break;
    names << QString::fromStdString(std::string(caps.szPname, strnlen(caps.szPname, MAXPNAMELEN)));
  }
  return names;
}

QStringList Items(const TComboBox* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  return items;
}

}  // namespace

void TForm1::FillDeviceLists() {
  cmbInput->clear();
  cmbOutput->clear();
  FDeviceGeneration = CurrentMidiBackend().DeviceGeneration();
  DeviceWatch->SetEnabled(true);
  if (MidiInput1) {
    for (UINT i = 0; i < midiInGetNumDevs(); ++i) {
      MidiInput1->SetDeviceID(static_cast<WORD>(i));
      cmbInput->addItem(QString::fromStdString(MidiInput1->ProductName()));
    }
  }
  // The device mapper (-1) is not listed.
  for (UINT i = 0; i < midiOutGetNumDevs(); ++i) {
    MidiOutput1->SetDeviceID(static_cast<int>(i));
    cmbOutput->addItem(QString::fromStdString(MidiOutput1->ProductName()));
  }
  cmbInput->SetItemIndex(0);
  cmbOutput->SetItemIndex(0);
  OpenMidiPorts();
}

void TForm1::OpenMidiPorts() {
  if (MidiInput1 && cmbInput->ItemIndex() >= 0)
    MidiInput1->SetProductName(cmbInput->Text().toStdString());
  // The first device, mapper first, that is a MIDI port; the list's choice plays no part.
  MidiOutput1->SetTechnology(opt_MidiPort);
  ShowOutputInUse();
  MidiOutput1->Open();  // a device that fails to open shows up at the first send
}

// By name: device numbers shift as other devices come and go. A device in use
// that has gone is still shown, with no entry selected.
void TForm1::ShowOutputInUse() {
  const QString name = QString::fromStdString(MidiOutput1->ProductName());
  cmbOutput->SetItemIndex(cmbOutput->findText(name));
  cmbOutput->SetText(name);
}

void TForm1::DeviceWatchTimer(TObject*) {
  const unsigned long generation = CurrentMidiBackend().DeviceGeneration();
  if (generation == FDeviceGeneration) return;
  FDeviceGeneration = generation;
  RefreshDeviceLists();
}

void TForm1::RefreshDeviceLists() {
  const QStringList outputs = DeviceNames<MIDIOUTCAPSA>(midiOutGetNumDevs(), &midiOutGetDevCapsA);
  if (outputs != Items(cmbOutput)) {
    cmbOutput->clear();
    cmbOutput->addItems(outputs);
    ShowOutputInUse();
  }
  const QStringList inputs = DeviceNames<MIDIINCAPSA>(midiInGetNumDevs(), &midiInGetDevCapsA);
  if (inputs != Items(cmbInput)) {
    const QString inUse = cmbInput->Text();
    cmbInput->clear();
    cmbInput->addItems(inputs);
    cmbInput->SetItemIndex(cmbInput->findText(inUse));
    cmbInput->SetText(inUse);
  }
}

// With two interfaces (a keyboard's port and the cable to the TQX512) the user
// must be able to reach the second. A device that cannot be opened is reported,
// and the port goes back to the device it was on.
void TForm1::cmbOutputChange(TObject*) {
  const int chosen = cmbOutput->ItemIndex();
  if (chosen < 0) return;  // typed text that names no device (yet)
  const std::string previous = MidiOutput1->ProductName();
  const bool wasOpen = MidiOutput1->State() == mosOpen;
  if (wasOpen && cmbOutput->itemText(chosen).toStdString() == previous) return;
  try {
    MidiOutput1->Close();
  } catch (...) {
    ShowOutputInUse();  // still open on the previous device
    throw;
  }
  std::string why;
  try {
    // The entry may have gone since the list was filled.
    MidiOutput1->SetDeviceID(chosen);
    if (MidiOutput1->Open()) {
      ShowOutputInUse();
      return;
    }
    why = MidiOutput1->midioutErrorString(MidiOutput1->Error());
  } catch (const EmidioutputError& error) {
    why = error.what();
  }
  try {
    MidiOutput1->SetProductName(previous);
    if (wasOpen) MidiOutput1->Open();
  } catch (const EmidioutputError&) {
    // The previous device has gone meanwhile: the port stays closed on the choice.
  }
  ShowOutputInUse();
  throw EmidioutputError(why);
}

void TForm1::CloseMidiPorts() { MidiOutput1->Close(); }
