#include "registry/memory_registry_store.h"

#include <gtest/gtest.h>

namespace talvix {
namespace {

TEST(MemoryRegistryStore, BehavesLikeTheFileStore) {
  MemoryRegistryStore store(
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\n\"Beta\"=\"b\"\n");
  EXPECT_EQ(store.openForRead("Software\\ORMANTA\\Talvix\\AutoIepCenSad"), nullptr);
  EXPECT_EQ(store.openForRead("software\\ormanta\\talvix\\bazes")->readString("beta"), "b");

  auto key = store.openForWrite("Software\\ORMANTA\\Talvix\\AutoIepCenSad");
  key->writeInteger("AtlikumiChk", 2);
  key->writeDateTime("DatumsNo", 45000.5);
  auto reread = store.openForRead("Software\\ORMANTA\\Talvix\\AutoIepCenSad");
  ASSERT_NE(reread, nullptr);
  EXPECT_EQ(reread->readInteger("atlikumichk"), 2);
  EXPECT_EQ(reread->readDateTime("DatumsNo"), 45000.5);
  EXPECT_THROW(reread->readInteger("DatumsNo"), RegistryError);
  EXPECT_THROW(MemoryRegistryStore("not a registry"), RegistryError);
}

}  // namespace
}  // namespace talvix
