#pragma once
// Where the product lives: its registry key, data directory and log directory, and
// its one persistent setting, the program path. One instance per process, created
// at process start. Failures are reported as false, never logged: the log is not
// open yet when the settings are loaded.

#include <string>
#include <string_view>

#include "platform/system.h"

namespace VyrUtilities {

class VyrAppSettings {
 public:
  // Reads the computer name.
  explicit VyrAppSettings(Platform::System& system);
  virtual ~VyrAppSettings();
  VyrAppSettings(const VyrAppSettings&) = delete;
  VyrAppSettings& operator=(const VyrAppSettings&) = delete;

  // Stores the names, derives the data directory (common application data + group +
  // company + product) and the log directory ("Logs" below it) and creates both; a
  // folder it creates gets the protected descriptor (protected_folder.h).
  void Initialise(std::u16string_view company, std::u16string_view group,
                  std::u16string_view product);
  // "SOFTWARE\company\group\product" (group left out when empty); empty when company
  // or product is empty.
  std::u16string RegistryPath() const;

  // currentUser: HKEY_CURRENT_USER instead of HKEY_LOCAL_MACHINE. The key is created
  // when missing.
  bool Load(bool currentUser);
  bool Save(bool currentUser);

  const std::u16string& DataDirectory() const { return dataDirectory_; }
  const std::u16string& LogDirectory() const { return logDirectory_; }
  const std::u16string& ProgramPath() const { return programPath_; }
  void SetProgramPath(std::u16string_view path) { programPath_ = path; }
  const std::u16string& ComputerName() const { return computerName_; }
  const std::u16string& Company() const { return company_; }
  const std::u16string& Group() const { return group_; }
  const std::u16string& Product() const { return product_; }

  // Creates every level of path; true when path exists afterwards. A path without
  // any "\" is refused.
  bool CreateDirectoryTree(std::u16string_view path);

  // Further values of a derived product, read and written under the product key
  // while Load or Save holds it open. The base keeps none and answers false.
  virtual bool LoadCustom(Platform::Handle key);
  virtual bool SaveCustom(Platform::Handle key);

 protected:
  Platform::System& system_;

 private:
  bool ReadProgramPath(Platform::Handle key);
  bool CreateProductDirectory(std::u16string_view path);

  std::u16string company_;
  std::u16string group_;
  std::u16string product_;
  std::u16string computerName_;
  std::u16string programPath_;
  std::u16string dataDirectory_;
  std::u16string logDirectory_;
};

}  // namespace VyrUtilities
