// The program's two stores, made once at start-up and kept for the whole run: the system store
// ("Korvo.dat": users, their settings and containers) and the mail store (the file of the user
// being worked on: the containers' contents). The program owns one CDataStores and hands
// references to whoever needs the stores; there is no global instance.
#pragma once

#include "model/sys_data.h"
#include "model/sys_mail_box.h"

namespace korvo {

class CDataStores {
  public:
    CDataStores() = default;
    CDataStores(const CDataStores&) = delete;
    CDataStores& operator=(const CDataStores&) = delete;

    // Opens (or creates) the system store in the data directory. The mail store opens on its
    // own when a user's containers are first used.
    bool OpenSystemStore() { return sys_.DataOpen(std::string(kSystemStoreFile)); }

    CSysData& sys() { return sys_; }
    CSysMailBox& mail() { return sys_.mailBox(); }

  private:
    // The system store holds the mail store: the links need both, and the mail store must
    // not outlive the store its links point into.
    CSysData sys_;
};

}  // namespace korvo
