// Saving an edited file back into its archive or over its loose file.
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include "state/app_state.h"
#include "archive/scripted_dialogs.h"
#include "archive/write_whole_file.h"
#include "editing/save_unpacked.h"
#include "ui_save_support.h"

using namespace testsupport;

namespace {

const std::string kAlpha = "[UNITINFO]\r\n{\r\nUnitName=ALPHA;\r\nMaxDamage=100;\r\n}\r\n";
const std::string kBeta = "[UNITINFO]\r\n{\r\nUnitName=BETA;\r\n}\r\n";
const std::string kWeapon = "[GUN]\r\n{\r\nID=7;\r\n}\r\n";
const std::string kNewAlpha = "[UNITINFO]\r\n{\r\nUnitName=ALPHA;\r\nMaxDamage=999;\r\n}\r\n";

// An entry as the edit page leaves it: new text stored, Changed set.
void Edit(UnPacked& E, const std::string& Name, const std::string& Parent, uint8_t Kind,
          const std::string& Text) {
  E.UnPackedFile = Name;
  E.ParentFile = Parent;
  E.Kind = Kind;
  E.SetContents(Text.data(), static_cast<int32_t>(Text.size()));
  E.Changed = 1;
}

}  // namespace

class SaveUnpackedTest : public QObject {
  Q_OBJECT

 private slots:
  void archiveSaveReplacesOnlyTheEditedFile() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("mod.ufo").toStdString();
    QVERIFY(PackArchive(path, {{"units\\ALPHA.FBI", kAlpha}, {"units\\BETA.FBI", kBeta},
                               {"weapons\\GUNS.TDF", kWeapon}}, 1));
    ScriptedDialogs dialogs;
    AppState state(dialogs);
    state.CompressionSetting = [] { return 2; };
    // A stale entry from an earlier save must not end up in the archive.
    UnPacked& stale = state.RepackFiles.NextSlot();
    stale.UnPackedFile = "units\\STALE.FBI";
    stale.SetContents("x", 1);
    state.RepackFiles.CommitSlot();

    UnPacked entry;  // spelled differently from the archive's own name
    Edit(entry, "units\\Alpha.fbi", path, kKindArchive, kNewAlpha);
    SaveUnpacked(state, entry);

    QCOMPARE(state.RepackFiles.Count, uint16_t{0});
    QVERIFY(dialogs.Questions.empty());  // archives are saved without asking
    QVERIFY(dialogs.Messages.empty());
    auto files = UnpackArchive(path);
    QVERIFY(files.has_value());
    QCOMPARE(files->size(), size_t{3});
    QCOMPARE(files->at("units\\ALPHA.FBI"), kNewAlpha);
    QCOMPARE(files->at("units\\BETA.FBI"), kBeta);
    QCOMPARE(files->at("weapons\\GUNS.TDF"), kWeapon);
    // Packed with the compression chosen at the moment of saving.
    QCOMPARE(FindRecord(path, "units\\ALPHA.FBI")->compression, uint8_t{2});
    QCOMPARE(FindRecord(path, "weapons\\GUNS.TDF")->compression, uint8_t{2});
    QCOMPARE(entry.Changed, uint8_t{1});

    // An entry the edit page did not change is not written at all.
    const std::string before = ReadBytes(path);
    state.CompressionSetting = [] { return 0; };
    entry.Changed = 0;
    SaveUnpacked(state, entry);
    QCOMPARE(ReadBytes(path), before);
  }

  void archiveSaveWritesThroughALink() {
    // The link stays and the archive it names gets the new text.
    QTemporaryDir dir;
    const std::string real = dir.filePath("real.ufo").toStdString();
    const std::string link = dir.filePath("link.ufo").toStdString();
    QVERIFY(PackArchive(real, {{"units\\ALPHA.FBI", kAlpha}, {"units\\BETA.FBI", kBeta}}, 2));
    std::filesystem::create_symlink("real.ufo", link);
    ScriptedDialogs dialogs;
    AppState state(dialogs);
    state.CompressionSetting = [] { return 2; };
    UnPacked entry;
    Edit(entry, "units\\ALPHA.FBI", link, kKindArchive, kNewAlpha);
    SaveUnpacked(state, entry);
    QVERIFY(dialogs.Messages.empty());
    QVERIFY(std::filesystem::is_symlink(link));
    auto files = UnpackArchive(real);
    QVERIFY(files.has_value());
    QCOMPARE(files->at("units\\ALPHA.FBI"), kNewAlpha);
    QCOMPARE(files->at("units\\BETA.FBI"), kBeta);
  }

  void damagedArchiveIsLeftUntouched() {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    AppState state(dialogs);
    state.CompressionSetting = [] { return 1; };

    // One file's data damaged after loading: the archive can still be opened
    // but not read whole, so writing it would lose that file.
    const std::string path = dir.filePath("part.ufo").toStdString();
    QVERIFY(PackArchive(path, {{"units\\ALPHA.FBI", kAlpha}, {"units\\BETA.FBI", kBeta}}, 1));
    auto beta = FindRecord(path, "units\\BETA.FBI");
    QVERIFY(beta.has_value());
    std::string bytes = ReadBytes(path);
    const size_t inChunk = beta->dataOffset + 4 + 19 + 1;  // chunk-size array, chunk header
    QVERIFY(inChunk < bytes.size());
    bytes[inChunk] = static_cast<char>(bytes[inChunk] ^ 0x5A);
    WriteBytes(path, bytes);
    QVERIFY(!UnpackArchive(path).has_value());

    UnPacked entry;
    Edit(entry, "units\\ALPHA.FBI", path, kKindArchive, kNewAlpha);
    SaveUnpacked(state, entry);
    QCOMPARE(ReadBytes(path), bytes);
    QCOMPARE(state.RepackFiles.Count, uint16_t{0});
    QCOMPARE(dialogs.Messages.back(),
             "The archive " + path + " could not be read completely; it was not changed.");

    // An archive that no longer opens at all: the engine refuses to write an
    // empty list and the file stays as it is.
    const std::string broken = dir.filePath("gone.ufo").toStdString();
    WriteBytes(broken, "HAPI but not an archive");
    Edit(entry, "units\\ALPHA.FBI", broken, kKindArchive, kNewAlpha);
    dialogs.Messages.clear();
    SaveUnpacked(state, entry);
    QCOMPARE(ReadBytes(broken), std::string("HAPI but not an archive"));
    QCOMPARE(state.RepackFiles.Count, uint16_t{0});
    QCOMPARE(dialogs.Messages, std::vector<std::string>{"Error in ReadwriteHPIDir with file " + broken});
  }

  void namesEqualIgnoringCaseAreNeverMerged() {
    // DUP.TXT and dup.txt: writing the archive anew would keep one of them
    // only, so it is not written at all.
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    AppState state(dialogs);
    const std::string path = dir.filePath("dup.ufo").toStdString();
    WriteBytes(path, RawArchive({RawNode{"DUP.TXT", false, std::string(32, 'U'), {}},
                                 RawNode{"dup.txt", false, "lower!!!", {}},
                                 RawNode{"units", true, "", {RawNode{"ALPHA.FBI", false, kAlpha, {}}}}}));
    const std::string before = ReadBytes(path);
    UnPacked entry;
    Edit(entry, "units\\ALPHA.FBI", path, kKindArchive, kNewAlpha);
    SaveUnpacked(state, entry);
    QCOMPARE(ReadBytes(path), before);
    QCOMPARE(dialogs.Messages,
             std::vector<std::string>{"The archive " + path + " could not be read completely; it was not changed."});
    QCOMPARE(state.RepackFiles.Count, 0);
  }

  void largeArchiveKeepsEveryOtherFile() {
    // Far more entries than a table's list takes.
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    AppState state(dialogs);
    state.CompressionSetting = [] { return 0; };
    const std::string path = dir.filePath("big.hpi").toStdString();
    std::map<std::string, std::string> files;
    for (int i = 0; i < 10000; ++i)
      files["units" + std::to_string(i % 4) + "\\U" + std::to_string(i) + ".FBI"] = "[UNITINFO]\r\n{\r\nUnitName=U" + std::to_string(i) + ";\r\n}\r\n";
    QVERIFY(PackArchive(path, files, 1));
    UnPacked entry;
    Edit(entry, "units2\\u4242.fbi", path, kKindArchive, kNewAlpha);
    SaveUnpacked(state, entry);
    QVERIFY(dialogs.Messages.empty());
    files["units2\\U4242.FBI"] = kNewAlpha;
    const auto back = UnpackArchive(path);
    QVERIFY(back.has_value());
    QVERIFY(*back == files);
    QCOMPARE(state.RepackFiles.Count, 0);
  }

  // A save told what the file must still hold writes only then; otherwise
  // it reports Changed, shows nothing and leaves the file as it is.
  void saveWritesOnlyOverTheExpectedBytes() {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    AppState state(dialogs);
    state.CompressionSetting = [] { return 1; };
    const std::string archive = dir.filePath("mod.ufo").toStdString(), loose = dir.filePath("ALPHA.FBI").toStdString();
    const std::optional<std::string> alpha = kAlpha, beta = kBeta, none;
    struct Case {
      const std::optional<std::string>* expected;
      SaveResult result;
    };
    for (const bool inArchive : {true, false}) {
      for (const Case& c : {Case{&beta, SaveResult::Changed}, Case{&none, SaveResult::Changed},
                            Case{&alpha, SaveResult::Saved}}) {
        QVERIFY(PackArchive(archive, {{"units\\ALPHA.FBI", kAlpha}, {"units\\BETA.FBI", kBeta}}, 1));
        WriteBytes(loose, kAlpha);
        UnPacked entry;
        Edit(entry, inArchive ? "UNITS\\alpha.fbi" : loose, inArchive ? archive : kNotPacked,
             inArchive ? kKindArchive : kKindLoose, kNewAlpha);
        dialogs.Answers = {true};
        QCOMPARE(SaveUnpacked(state, entry, c.expected), c.result);
        const std::string now = inArchive ? UnpackArchive(archive)->at("units\\ALPHA.FBI") : ReadBytes(loose);
        QCOMPARE(now, c.result == SaveResult::Saved ? kNewAlpha : kAlpha);
        QVERIFY(dialogs.Messages.empty());
      }
    }
  }

  void looseFileMissingOrUnwritable() {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    AppState state(dialogs);
    UnPacked entry;

    // Deleted from disk after loading: nothing asked, nothing created.
    const std::string gone = dir.filePath("GONE.FBI").toStdString();
    Edit(entry, gone, kNotPacked, kKindLoose, kNewAlpha);
    dialogs.Answers = {true};
    SaveUnpacked(state, entry);
    QVERIFY(dialogs.Questions.empty());
    QVERIFY(!std::filesystem::exists(gone));

    // A path that cannot be written as a file: the system's error comes back.
    const std::string isDir = dir.filePath("DIR.FBI").toStdString();
    std::filesystem::create_directory(isDir);
    Edit(entry, isDir, kNotPacked, kKindLoose, kNewAlpha);
    dialogs.Answers = {true};
    bool thrown = false;
    try {
      SaveUnpacked(state, entry);
    } catch (const WriteFileError& e) {
      thrown = true;
      QCOMPARE(e.reason(), WriteFileError::Reason::Failed);
      QVERIFY(std::string(e.what()).find(isDir) != std::string::npos);
      QVERIFY(std::string(e.what()).find(std::strerror(EISDIR)) != std::string::npos);
    }
    QVERIFY(thrown);

    // Made read-only after loading: not written, even by a user whom the
    // system would let write (root); the text says it is read-only.
    const std::string readOnly = dir.filePath("RO.FBI").toStdString();
    WriteBytes(readOnly, kAlpha);
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                               std::filesystem::perms::others_read);
    Edit(entry, readOnly, kNotPacked, kKindLoose, kNewAlpha);
    dialogs.Answers = {true};
    thrown = false;
    try {
      SaveUnpacked(state, entry);
    } catch (const WriteFileError& e) {
      thrown = true;
      QCOMPARE(e.reason(), WriteFileError::Reason::ReadOnly);
      QCOMPARE(std::string(e.what()), readOnly + " is read-only");
    }
    QVERIFY(thrown);
    QCOMPARE(ReadBytes(readOnly), kAlpha);
  }
};

QTEST_MAIN(SaveUnpackedTest)
#include "ui_save_unpacked.moc"
