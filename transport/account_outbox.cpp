#include "transport/account_outbox.h"

#include "model/sys_schema.h"

namespace korvo {

std::unique_ptr<NodeOutbox> MakeAccountOutbox(CDataStores& stores, baseDataStruct* account,
                                              OutboxHooks hooks) {
    CSysMailBox& mail = stores.mail();
    hooks.store = [&mail](baseDataStruct* letter) { mail.DataSaveList(letter, 1); };
    hooks.load = [&mail](baseDataStruct* letter) {
        if (teststate(letter, STATE_HAS_SDATA) && getdatasize(letter, "SDATA") == 0) {
            mail.DataLoadPoint(letter, -1, kLoadSdata);
        }
    };
    CSysData& sys = stores.sys();
    auto resolve = [&sys, &mail, account] {
        baseDataStruct* prepare = sys.DataGetSysPoint(account, kKindBox, kBoxPrepare);
        baseDataStruct* send = sys.DataGetSysPoint(account, kKindBox, kBoxSend);
        OutboxNodes nodes;
        if (!prepare || !send) return nodes;
        nodes.prepareLetters = mail.SysReadLinkTree(prepare, kLoadProperty | kLoadStrdata);
        nodes.sendLetters = mail.SysReadLinkTree(send, kLoadProperty | kLoadStrdata);
        nodes.sendBox = send;
        return nodes;
    };
    return std::make_unique<NodeOutbox>(resolve, std::move(hooks));
}

}  // namespace korvo
