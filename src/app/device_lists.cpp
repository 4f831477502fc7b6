#include <QStringList>
#include <map>
#include <vector>

#include "app/form1.h"
#include "midi/midi_input.h"
#include "midi/midi_output.h"
#include "midi/platform/midi_backend.h"

namespace {

// Each entry keeps its device's identity and whole name beside the text shown.
constexpr int kIdentityRole = Qt::UserRole;
constexpr int kNameRole = Qt::UserRole + 1;

// What the service says of its devices now, in device order; a device that goes
// while it is asked ends the list there.
std::vector<MidiDeviceInfo> Devices(UINT count, MMRESULT (*getInfo)(UINT, MidiDeviceInfo&)) {
  std::vector<MidiDeviceInfo> devices;
  for (UINT i = 0; i < count; ++i) {
    MidiDeviceInfo info;
    if (getInfo(i, info) != MMSYSERR_NOERROR) break;
    devices.push_back(std::move(info));
  }
  return devices;
}

// Whole names; devices with the same name (two identical interfaces) are told
// apart by their address when the service has one, else by " #2", " #3", ...
QStringList ShownNames(const std::vector<MidiDeviceInfo>& devices) {
  std::map<std::string, int> count;
  for (const MidiDeviceInfo& device : devices) ++count[device.name];
  std::map<std::string, int> seen;
  QStringList shown;
  for (const MidiDeviceInfo& device : devices) {
    QString text = QString::fromStdString(device.name);
    const int nth = ++seen[device.name];
    if (count[device.name] > 1) {
      if (!device.address.empty())
        text += " [" + QString::fromStdString(device.address) + "]";
      else if (nth > 1)
        text += QString(" #%1").arg(nth);
    }
    shown << text;
  }
  return shown;
}

void Fill(TComboBox* list, const std::vector<MidiDeviceInfo>& devices) {
  list->clear();
  const QStringList shown = ShownNames(devices);
  for (size_t i = 0; i < devices.size(); ++i) {
    list->addItem(shown[static_cast<int>(i)], QString::fromStdString(devices[i].identity));
    list->setItemData(static_cast<int>(i), QString::fromStdString(devices[i].name), kNameRole);
  }
}

bool Shows(const TComboBox* list, const std::vector<MidiDeviceInfo>& devices) {
  if (list->count() != static_cast<int>(devices.size())) return false;
  const QStringList shown = ShownNames(devices);
  for (int i = 0; i < list->count(); ++i) {
    if (list->itemText(i) != shown[i] ||
        list->itemData(i, kIdentityRole).toString().toStdString() != devices[i].identity)
      return false;
  }
  return true;
}

MidiDeviceInfo Listed(const TComboBox* list, int index) {
  return {list->itemData(index, kNameRole).toString().toStdString(),
          list->itemData(index, kIdentityRole).toString().toStdString(), {}};
}

// Selects the entry of that identity; a device that has gone is still shown by
// its name, with no entry selected.
void ShowInUse(TComboBox* list, const std::string& identity, const std::string& name) {
  const int index =
      identity.empty() ? -1 : list->findData(QString::fromStdString(identity), kIdentityRole);
  list->SetItemIndex(index);
  list->SetText(index >= 0 ? list->itemText(index) : QString::fromStdString(name));
}

}  // namespace

void TForm1::FillDeviceLists() {
  cmbInput->clear();
  cmbOutput->clear();
  FDeviceGeneration = CurrentMidiBackend().DeviceGeneration();
  DeviceWatch->SetEnabled(true);
  std::vector<MidiDeviceInfo> inputs;
  if (MidiInput1) {
    for (UINT i = 0; i < midiInGetNumDevs(); ++i) {
      MidiInput1->SetDeviceID(static_cast<WORD>(i));
      inputs.push_back({MidiInput1->ProductName(), MidiInput1->Identity(), MidiInput1->Address()});
    }
  }
  // The device mapper (-1) is not listed.
  std::vector<MidiDeviceInfo> outputs;
  for (UINT i = 0; i < midiOutGetNumDevs(); ++i) {
    MidiOutput1->SetDeviceID(static_cast<int>(i));
    outputs.push_back(
        {MidiOutput1->ProductName(), MidiOutput1->Identity(), MidiOutput1->Address()});
  }
  Fill(cmbInput, inputs);
  Fill(cmbOutput, outputs);
  cmbInput->SetItemIndex(0);
  cmbOutput->SetItemIndex(0);
  OpenMidiPorts();
}

void TForm1::OpenMidiPorts() {
  if (MidiInput1 && cmbInput->ItemIndex() >= 0)
    MidiInput1->SelectDevice(Listed(cmbInput, cmbInput->ItemIndex()));
  // The output the user chose last, when it is there; else the first device,
  // mapper first, that is a MIDI port. The list's selection plays no part.
  FChosenOutput = LoadChosenOutput();
  bool chosen = false;
  if (!FChosenOutput.identity.empty()) {
    try {
      MidiOutput1->SelectDevice(FChosenOutput);
      chosen = true;
    } catch (const EmidioutputError&) {
      // Not plugged in today: it is still remembered for the next start.
    }
  }
  if (!chosen) MidiOutput1->SetTechnology(opt_MidiPort);
  ShowOutputInUse();
  MidiOutput1->Open();  // a device that fails to open shows up at the first send
}

// By identity: device numbers shift as other devices come and go, and two
// devices may have the same name.
void TForm1::ShowOutputInUse() {
  ShowInUse(cmbOutput, MidiOutput1->Identity(), MidiOutput1->ProductName());
}

void TForm1::DeviceWatchTimer(TObject*) {
  const unsigned long generation = CurrentMidiBackend().DeviceGeneration();
  if (generation == FDeviceGeneration) return;
  FDeviceGeneration = generation;
  RefreshDeviceLists();
}

void TForm1::RefreshDeviceLists() {
  const std::vector<MidiDeviceInfo> outputs = Devices(midiOutGetNumDevs(), &midiOutGetDevInfo);
  if (!Shows(cmbOutput, outputs)) {
    Fill(cmbOutput, outputs);
    ShowOutputInUse();
  }
  const std::vector<MidiDeviceInfo> inputs = Devices(midiInGetNumDevs(), &midiInGetDevInfo);
  if (!Shows(cmbInput, inputs)) {
    const int inUse = cmbInput->ItemIndex();
    const MidiDeviceInfo device = inUse >= 0 ? Listed(cmbInput, inUse) : MidiDeviceInfo{};
    const QString text = cmbInput->Text();
    Fill(cmbInput, inputs);
    ShowInUse(cmbInput, device.identity, text.toStdString());
  }
}

// With two interfaces (a keyboard's port and the cable to the TQX512) the user
// must be able to reach the second. A device that cannot be opened is reported,
// and the port goes back to the device it was on.
void TForm1::cmbOutputChange(TObject*) {
  const int chosen = cmbOutput->ItemIndex();
  if (chosen < 0) return;  // typed text that names no device (yet)
  const MidiDeviceInfo device = Listed(cmbOutput, chosen);
  const MidiDeviceInfo previous{MidiOutput1->ProductName(), MidiOutput1->Identity(),
                                MidiOutput1->Address()};
  const int previousID = MidiOutput1->DeviceID();
  const bool wasOpen = MidiOutput1->State() == mosOpen;
  if (wasOpen && device.identity == previous.identity) return;
  try {
    MidiOutput1->Close();
  } catch (...) {
    ShowOutputInUse();  // still open on the previous device
    throw;
  }
  std::string why;
  try {
    // The entry's device may have gone, or moved, since the list was filled.
    MidiOutput1->SelectDevice(device);
    if (MidiOutput1->Open()) {
      FChosenOutput = {MidiOutput1->ProductName(), MidiOutput1->Identity(),
                       MidiOutput1->Address()};
      ShowOutputInUse();
      return;
    }
    why = MidiOutput1->midioutErrorString(MidiOutput1->Error());
  } catch (const EmidioutputError& error) {
    why = error.what();
  }
  try {
    if (!previous.identity.empty())
      MidiOutput1->SelectDevice({{}, previous.identity, {}});  // even if renamed meanwhile
    else if (previousID < 0)
      MidiOutput1->SetDeviceID(previousID);  // the mapper
    if (wasOpen) MidiOutput1->Open();
  } catch (const EmidioutputError&) {
    // The previous device has gone meanwhile: the port stays closed on the choice.
  }
  ShowOutputInUse();
  throw EmidioutputError(why);
}

void TForm1::CloseMidiPorts() { MidiOutput1->Close(); }
