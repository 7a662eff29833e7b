// Record operations on Processes and DigitalSignatures: the image of a process that
// changed a load point, and the signer chain of that image (at most two rows).

#include "database/load_point_database.h"
#include "util/text_routines.h"

namespace Database {

namespace {

// The size as the shell shows it; Windows formats into a 100-character buffer.
std::u16string SizeText(const FileInformation& fileInfo) {
  std::u16string text = VyrUtilities::FormatByteSize(fileInfo.FileSize());
  if (text.size() > 99) text.resize(99);
  return text;
}

const char* YesNo(bool yes) { return yes ? "'Y', " : "'N', "; }

}  // namespace

int32_t LoadPointDatabase::AddProcessEntry(const FileInformation& fileInfo, int32_t signatureKey,
                                           bool isBrowser) {
  SqlText sql("INSERT INTO Processes VALUES (NULL, ");
  sql.Text(fileInfo.fullPath).Raw(", ").Text(fileInfo.fileName).Raw(", ").Text(SizeText(fileInfo));
  sql.Raw(", ").Text(fileInfo.creationTime).Raw(", ").Text(fileInfo.lastWriteTime);
  sql.Raw(", ").Text(fileInfo.lastAccessTime).Raw(", ");
  for (int i = 0; i < FileInformation::kVersionStringCount; ++i) {
    sql.Text(fileInfo.VersionString(i)).Raw(", ");
  }
  sql.Raw(YesNo(isBrowser)).Int(signatureKey).Raw(", '')");
  return Insert(sql, "AddProcessEntry");
}

int32_t LoadPointDatabase::AddDownloadDataToProcessFile(int32_t key,
                                                        std::u16string_view downloadData) {
  SqlText sql("UPDATE Processes SET DOWNLOAD_DATA = ");
  return Change(sql.Text(downloadData).Raw(" WHERE KEY = ").Int(key),
                "AddDownloadDataToProcessFile");
}

int32_t LoadPointDatabase::AddDigitalSignatureEntry(std::u16string_view signerName,
                                                    std::u16string_view signerEmail,
                                                    std::u16string_view signedTime,
                                                    int32_t valid) {
  SqlText sql("INSERT INTO DigitalSignatures VALUES (NULL, ");
  sql.Text(signerName).Raw(", ").Text(signerEmail).Raw(", ").Text(signedTime).Raw(", ");
  return Insert(sql.Raw(YesNo(valid != 0)).Raw("0)"), "AddDigitalSignatureEntry");
}

int32_t LoadPointDatabase::UpdateDigitalSignatureEntry(int32_t key, int32_t counterSignerKey) {
  SqlText sql("UPDATE DigitalSignatures SET COUNTER_SIGNER_KEY = ");
  return Change(sql.Int(counterSignerKey).Raw(" WHERE KEY = ").Int(key),
                "UpdateDigitalSignatureEntry");
}

int32_t LoadPointDatabase::FindDigitalSignatureEntry(int32_t key, DigitalSignatureRows& rows) {
  return Query(SqlText("SELECT * FROM DigitalSignatures WHERE KEY = ").Int(key),
               "FindDigitalSignatureEntry", rows);
}

// The row goes before its counter-signer is followed, so a row naming itself as its
// own counter-signer is not found the second time and the chain ends.
int32_t LoadPointDatabase::RemoveDigitalSignatureEntry(int32_t key) {
  DigitalSignatureRows rows;
  if (!FindDigitalSignatureEntry(key, rows)) return 0;
  if (!Change(SqlText("DELETE FROM DigitalSignatures WHERE KEY = ").Int(key),
              "RemoveDigitalSignatureEntry")) {
    return 0;
  }
  const int32_t counterSignerKey = rows.COUNTER_SIGNER_KEY(0);
  if (counterSignerKey > 0) RemoveDigitalSignatureEntry(counterSignerKey);
  return 1;
}

}  // namespace Database
