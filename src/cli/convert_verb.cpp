// `tqx512 convert`: one file form into another, written as the editor writes it.
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "cli/options.h"
#include "cli/verbs.h"
#include "files/config_images.h"
#include "files/file_io.h"

namespace cli {

namespace {

constexpr const char* kHelp =
    "usage: tqx512 convert IN OUT [--force] [--device-id 1..128] [--flash] [--type tqc|syx|3cv|tqx]\n"
    "\n"
    "  .TQC -> .SYX   the editor's SysEx dump, byte for byte, at the file's own device ID\n"
    "  .SYX -> .TQC   the configuration the dump carries\n"
    "  .3CV <-> .TQX  the note table\n"
    "\n"
    "  --device-id N  the device ID the result carries (message device bytes and\n"
    "                 parameter 34 alike)\n"
    "  --flash        end the dump with \"Write to Flash\"\n"
    "\n"
    "IN - is standard input (its form from --type, else from its bytes). An existing\n"
    "OUT is replaced only with --force; the new file takes its place in one step.\n";

std::vector<uint8_t> Converted(const InputFile& in, FileKind to, const Options& options,
                               const std::string& outPath) {
  if (in.kind == FileKind::Config && to == FileKind::Sysex)
    return SysexDumpImage(in.record, *OwnDeviceId(in) - 1, options.Has("flash"));
  if (in.kind == FileKind::Sysex && to == FileKind::Config) {
    if (!in.hasRecord)
      throw InputError(in.path, -1, "does not hold all of parameters 32..63, so no configuration");
    const TConfigFileImage image = ConfigFileImage(in.record);
    return {image.begin(), image.end()};
  }
  if (in.kind == FileKind::Table && to == FileKind::Table) return TableFileImage(in.table);
  throw UsageError{"cannot make " + outPath + " from " + in.path +
                   " (.TQC -> .SYX, .SYX -> .TQC, .3CV <-> .TQX)"};
}

}  // namespace

int RunConvert(const std::vector<std::string>& args, Io& io) {
  const Options options =
      ParseOptions(args, {"help", "force", "flash"}, {"device-id", "type"});
  if (options.Has("help")) {
    io.out << kHelp;
    return kSuccess;
  }
  if (options.operands.size() != 2) throw UsageError{"give IN and OUT"};
  const std::string& inPath = options.operands[0];
  const std::string& outPath = options.operands[1];
  const auto to = KindOf(outPath);
  if (!to) throw UsageError{outPath + ": unknown file type (.TQC, .SYX, .3CV or .TQX)"};
  const std::optional<int> deviceId = DeviceIdOption(options);
  InputFile in = ReadInputFile(inPath, io.err, IsStandardInput(inPath) ? TypeOption(options) : std::nullopt);
  if (deviceId) SetDeviceId(in, *deviceId);
  const std::vector<uint8_t> bytes = Converted(in, *to, options, outPath);

  const QFileInfo target(QString::fromStdString(outPath));
  if (target.exists() || target.isSymLink()) {
    if (!target.isFile()) throw UsageError{outPath + " exists and is not a file"};
    if (!options.Has("force")) throw UsageError{outPath + " exists (--force replaces it)"};
  }
  errno = 0;
  if (!files::WriteFileAtomically(outPath, bytes)) {
    const int why = errno;
    io.err << "tqx512: " << outPath << ": Write File Error - Abort Saving";
    if (why) io.err << " (" << std::strerror(why) << ')';
    io.err << '\n';
    return kSendFailed;
  }
  return kSuccess;
}

}  // namespace cli
