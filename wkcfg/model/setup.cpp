// Loading and saving "bin/wksrv.cfg". The file is read once into a document
// and every key is taken from it in the load order of the key table; the
// save applies the one-key writes in the table's save order, then the
// events, to the document and replaces the file once, atomically, so a
// crash or a full disk never leaves half a configuration behind.
#include "wkcfg/model/setup.h"

#include <errno.h>

#include "common/files.h"
#include "common/ini.h"
#include "wkcfg/model/setup_keys.h"

namespace {

const char kSection[] = "Wattkeep";
const char kEventCounter[] = "EventCounter";
const char kEventPrefix[] = "Event";
constexpr int32_t kLeastWarningTime = 60;

void LoadKey(const TIniDocument& doc, const TSetupKey& key, TSetupData* setup) {
  std::optional<std::string> text = doc.Get(kSection, key.name);
  if (!text || !DecodeSetupValue(key, *text, setup)) ResetField(key, setup);
}

void LoadEvents(const TIniDocument& doc, TEvents* events) {
  int32_t stored = 0;
  if (!ParseInt32(doc.Get(kSection, kEventCounter).value_or(""), &stored)) stored = 0;
  // Eight bits, as the master server reads it.
  const uint8_t count = static_cast<uint8_t>(static_cast<uint32_t>(stored));
  events->ClearEvents();
  for (uint32_t n = 0; n < count; ++n) {
    events->AddEventLine(doc.Get(kSection, kEventPrefix + std::to_string(n)).value_or(""));
  }
}

void SaveKey(const TSetupData& setup, const TSetupKey& key, TIniDocument* doc) {
  const bool always_empty = key.store == TKeyStore::kEmpty;
  doc->Set(kSection, key.name, always_empty ? "" : EncodeSetupValue(key, setup));
}

// The old event keys go by the old count read in full 32 bits; a deleted key
// that is written again is appended anew, as a delete and a write would.
void SaveEvents(const TEvents& events, TIniDocument* doc) {
  int32_t old_count = 0;
  if (!ParseInt32(doc->Get(kSection, kEventCounter).value_or(""), &old_count)) old_count = 0;
  TTextList lines;
  doc->SectionLines(kSection, &lines);
  for (const std::string& line : lines) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    int32_t n = NumberedKey(key, kEventPrefix);
    if (n >= 0 && n < old_count) doc->Remove(kSection, key);
  }
  doc->Set(kSection, kEventCounter, std::to_string(events.Count()));
  for (int n = 0; n < events.Count(); ++n) {
    doc->Set(kSection, kEventPrefix + std::to_string(n), events.EventLine(n));
  }
}

}  // namespace

std::string ServerSetupPath(const TSetupData& setup) {
  return setup.InstallPath + "bin/wksrv.cfg";
}

int LoadServerSetup(TSetupData* setup) {
  const int error = LoadServerSetupFile(ServerSetupPath(*setup), setup);
  return error == ENOENT ? 0 : error;
}

int LoadServerSetupFile(const std::string& path, TSetupData* setup) {
  TIniDocument doc;
  int error = ENOENT;
  if (PathExists(path)) error = LoadIniFile(path, &doc);
  if (error != 0) doc.Parse("");
  setup->Ups.Protocol.ProtocolId = 0;
  setup->Ups.Protocol.ProtocolText.clear();
  for (const TSetupKey* key : RowsInOrder(SetupKeys(), &TSetupKey::load_rank))
    LoadKey(doc, *key, setup);
  LoadEvents(doc, &setup->Ups.Events);
  int32_t& warning = setup->Server.SrvDownWarningTime;
  if (warning <= kLeastWarningTime) warning = kLeastWarningTime;
  return error;
}

int SaveServerSetup(const TSetupData& setup, bool write_autonomy, bool* in_place) {
  const std::string path = ServerSetupPath(setup);
  TIniDocument doc;
  // A file that exists but cannot be read is not replaced: its other
  // sections and keys would be lost.
  if (const int error = LoadIniFile(path, &doc); error != 0) return error;
  for (const TSetupKey* key : RowsInOrder(SetupKeys(), &TSetupKey::save_rank)) {
    if (key->store != TKeyStore::kAutonomy || write_autonomy) SaveKey(setup, *key, &doc);
  }
  // The events come after every key.
  SaveEvents(setup.Ups.Events, &doc);
  return SaveIniFile(path, doc, in_place);
}

void ResetAutonomyData(TSetupData* setup) {
  for (const TSetupKey& key : SetupKeys()) {
    if (key.store == TKeyStore::kAutonomy) ResetField(key, setup);
  }
}
