#include "app/form1.h"
#include "midi/midi_input.h"
#include "midi/midi_output.h"

void TForm1::FillDeviceLists() {
  cmbInput->clear();
  cmbOutput->clear();
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

void TForm1::ShowOutputInUse() {
  cmbOutput->SetItemIndex(MidiOutput1->DeviceID());
  cmbOutput->SetText(QString::fromStdString(MidiOutput1->ProductName()));
}

// With two interfaces (a keyboard's port and the cable to the TQX512) the user
// must be able to reach the second. A device that cannot be opened is reported,
// and the port goes back to the device it was on.
void TForm1::cmbOutputChange(TObject*) {
  const int chosen = cmbOutput->ItemIndex();
  if (chosen < 0) return;  // typed text that names no device (yet)
  if (chosen == MidiOutput1->DeviceID() && MidiOutput1->State() == mosOpen) return;
  const int previous = MidiOutput1->DeviceID();
  const bool wasOpen = MidiOutput1->State() == mosOpen;
  try {
    MidiOutput1->Close();
  } catch (...) {
    ShowOutputInUse();  // still open on the previous device
    throw;
  }
  MidiOutput1->SetDeviceID(chosen);
  if (MidiOutput1->Open()) {
    ShowOutputInUse();
    return;
  }
  const std::string why = MidiOutput1->midioutErrorString(MidiOutput1->Error());
  MidiOutput1->SetDeviceID(previous);
  if (wasOpen) MidiOutput1->Open();
  ShowOutputInUse();
  throw EmidioutputError(why);
}

void TForm1::CloseMidiPorts() { MidiOutput1->Close(); }
