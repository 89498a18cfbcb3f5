// The network session of one task: a POP3 connection and an SMTP connection for one account.
//
// A session lives on the task's worker thread and is used only there; the task's cancel may
// come from another thread through its TaskRecord. Operations report failure through their
// results and leave the failure text in lastError(), which is also shown on the status line.
// Replies are read as a stream (reply_reader.h), so a reply split over several packets or
// merged with the next one is read correctly.
//
// Reply classification: a POP3 reply fails when it begins with "-ERR", "50" or "40". A reply
// of the mail-sending server succeeds only with a 2xx or 3xx code; 4xx, 5xx and replies
// without a code fail, and 421 also ends the connection.
#pragma once

#include <array>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/account_security.h"
#include "platform/tcp_socket.h"
#include "transport/certificate_problem.h"
#include "transport/reply_reader.h"
#include "transport/tls_stream.h"

namespace korvo {

class baseDataStruct;
class Outbox;
class SessionView;
class TaskRecord;

// Texts of the failure table, by the step that uses them.
enum NetErrorIndex {
    kErrGreeting = 0,
    kErrUser = 1,
    kErrPass = 2,
    kErrStat = 3,
    kErrRetrieve = 4,
    kErrDelete = 5,
    kErrQuit = 6,
    kErrSmtp = 7,
    kErrSmtpGreeting = 8,
    kErrSmtpData = 9,
    kErrSmtpQuit = 10,
    kErrCount = 11
};

// A unique id as a POP3 server may give it: 1 to 70 characters from 0x21 to 0x7E.
inline constexpr size_t kMaxUniqueIdLength = 70;
bool IsValidUniqueId(std::string_view id);

// What a POP3 server announced in its CAPA reply (RFC 2449).
struct Pop3Capabilities {
    bool answered = false;  // CAPA was understood; a server without it answers -ERR
    bool stls = false;
    bool saslPlain = false;
    bool pipelining = false;
};
// The capabilities in the data block of a CAPA reply.
Pop3Capabilities ParseCapabilities(std::string_view block);

class CNetRP {
  public:
    // One end of the session: its socket, the TLS session on it once there is one, and the
    // reader of its replies, which reads through whichever of the two is in use.
    struct Link {
        enum class Kind { kPop3, kSmtp };
        Link(Kind kind, SocketTimeouts timeouts);
        ByteStream& stream() { return tls ? static_cast<ByteStream&>(*tls) : socket; }
        void Close();
        Kind kind;
        TcpSocket socket;
        std::unique_ptr<TlsStream> tls;
        ReplyReader reader;
    };

    // A letter larger than this is never fetched, whatever LIST says.
    static constexpr long kMaxLetterBytes = 512L << 20;
    // GetMessage's result for a letter refused for its size (it is skipped, not deleted).
    static constexpr const char* kTooLarge = "-2";

    // The resynchronising LIST and UIDL queries give up after this many pairs of replies.
    static constexpr int kMaxQueryPairs = 20;

    explicit CNetRP(SocketTimeouts timeouts = {});
    ~CNetRP();
    CNetRP(const CNetRP&) = delete;
    CNetRP& operator=(const CNetRP&) = delete;

    // Reads the connection settings of `account` and binds the session to `task` (which must
    // outlive it); sets the task's State "Run over!" and Info "ok".
    void InitialzeAccount(const baseDataStruct* account, TaskRecord* task);

    // Reads one reply from `link` into lastReply(): 1 for success, 0 for failure (a failure
    // reply sets the table text `index`, a broken stream "Socket Error").
    int get_response(Link& link, int index);

    // Sets the task's State "Faile" and Info to the last error; returns the last error.
    std::string ReportError();

    // Connects, secures the connection as the account's pop3Security says and logs in
    // (AUTH PLAIN when offered, else USER and PASS): 1, or 0 with the connection closed. No
    // credential is sent in clear unless the account says "none" or (without the key) the
    // server offers no STLS.
    int ConnectPop3();
    // QUIT and close: the QUIT reply's result, or 1 when not connected.
    int DisconnectPop3();
    // STAT: the number of letters, or -1 (the session is then no longer connected).
    int GetNumMessages();
    // LIST n until two replies agree: the size, 0 when the server gives none, or -1.
    long GetMessageLen(int n);
    // UIDL n until two replies agree. kOk sets `id` to the server's whole unique id; kInvalid
    // (the connection is still usable) when the reply does not hold one for letter n;
    // kBroken when the query failed, which ends the connection.
    enum class UidResult { kOk, kInvalid, kBroken };
    UidResult GetMessageId(int n, std::string& id);
    // TOP n 1: the header block without its blank line; the LIST size as text, or "-1".
    std::string GetMessageHead(int n, std::string& text);
    // RETR n: the letter without status line and terminator, dots restored; the LIST size as
    // text, or "-1" (refused, broken or cancelled; a broken or cancelled fetch also ends the
    // connection), or kTooLarge when the letter is over kMaxLetterBytes or grows beyond its
    // LIST size plus a tenth (read to its end and dropped). A letter without a "received" trace
    // is fetched a second time.
    std::string GetMessage(int n, std::string& text);
    // DELE n: 1, or 0 when refused.
    int DeleteMessage(int n);

    // Pipelining (RFC 2449), when the server announced PIPELINING in its CAPA reply: commands
    // whose replies are not needed to decide what comes next are written ahead, several in one
    // send, and their replies are read in order when the calls above ask for them. The
    // server sees the commands it would see otherwise; a call that asks for something else
    // first reads and drops the replies written ahead before it. Without pipelining these
    // do nothing.
    bool pipelining() const { return pop3Caps_.pipelining; }
    // The first pair of queries of GetMessageId(n).
    void WriteAheadMessageId(int n);
    // The first pair of queries of GetMessageLen(n) and, with `retrieve`, the LIST and RETR of
    // GetMessage(n), followed by the first pair of GetMessageId(next) when `next` is above 0.
    void WriteAheadMessage(int n, bool retrieve, int next = 0);
    // DELE for each letter number, in order.
    void WriteAheadDeletes(const std::vector<int>& numbers);

    bool pop3Connected() const { return pop3Connected_ != 0; }
    bool smtpConnected() const { return smtpConnected_ != 0; }
    const std::string& lastError() const { return lastError_; }
    const std::string& lastReply() const { return lastReply_; }
    const char* errorText(int index) const;
    int pop3Port() const { return pop3Port_; }
    int smtpPort() const { return smtpPort_; }
    const std::string& pop3Server() const { return pop3Server_; }
    const std::string& smtpServer() const { return smtpServer_; }
    const std::string& userName() const { return userName_; }
    bool smtpCheck() const { return smtpCheck_ != 0; }
    const std::string& smtpUserLine() const { return smtpUser_; }
    const std::string& smtpPassLine() const { return smtpPass_; }
    const std::string& mailIdList() const { return mailIdList_; }
    const baseDataStruct* account() const { return account_; }
    const Pop3Capabilities& pop3Capabilities() const { return pop3Caps_; }
    bool pop3Secure() const { return pop3_.tls != nullptr; }
    bool smtpSecure() const { return smtp_.tls != nullptr; }
    // Milliseconds of the last TLS handshake of this session.
    double lastHandshakeMs() const { return lastHandshakeMs_; }
    TaskRecord* task() const { return task_; }

    // Connects to the mail-sending server, secures the connection as smtpSecurity says (EHLO,
    // STARTTLS, EHLO again) and greets it; with authentication AUTH PLAIN or LOGIN, whichever
    // the EHLO reply offers (PLAIN first). Without security and authentication: HELO. 1, or 0
    // with the connection closed.
    int ConnectSmtp();
    // Sends QUIT on an open SMTP connection; 1 when none is open.
    int DisconnectSmtp();
    // Sends every pending letter of `outbox` on one connection. A letter the server accepted
    // (for at least one recipient) is marked sent; any other stays in the prepare box and the
    // task reports State "Faile" with the error as Info. Refused recipients of sent letters are
    // listed in Info after "Refused: ". Stops at a cancel or a broken connection.
    void SendMail(Outbox& outbox);
    // Sends one stored message on the open connection: 1 when the server accepted it, 0 when
    // not (lastError() says why). Recipients the server refused are in refusedRecipients().
    int SendMailData(const baseDataStruct* letter);
    // `blindCopies` is an address list of receivers that get the letter without being named
    // in its header.
    int SendMailText(std::string_view text, std::string_view blindCopies = {});
    const std::vector<std::string>& refusedRecipients() const { return refused_; }

    // The name this host gives in HELO and EHLO (at most 80 bytes).
    static std::string LocalHostName();

    // Bytes of the stored text sent per write, with the progress shown after each.
    static constexpr size_t kDataChunk = 51200;

  private:
    // Connects `link`; false with the error set.
    bool OpenLink(Link& link, const std::string& host, int port, const char* failure);
    // TLS on the connected `link`; a refused certificate goes to the task with its details.
    bool StartTls(Link& link, const std::string& host, const std::string& pin,
                  CertificateProblem::Server server);
    // CAPA into pop3Caps_; false only when the stream broke.
    bool QueryCapabilities();
    bool LoginPop3();
    bool AuthenticateSmtp(const std::string& ehlo);
    bool cancelled() const;
    void ShowStatus(const std::string& text);
    void SetProgress(int percent);
    void SetError(const std::string& text);
    void Send(Link& link, const std::string& command);
    // Sends a POP3 command whose reply is read next, unless it was written ahead: then the
    // replies of the commands written ahead before it are read and dropped.
    void Pop3Command(const std::string& command);
    void WriteAhead(const std::vector<std::string>& commands);
    // Reads and drops the replies of the first `count` commands written ahead; false when
    // the stream broke.
    bool DropAhead(size_t count);
    // Sends a credential: the log shows stars instead.
    void SendSecret(Link& link, const std::string& line);
    // Sends an SMTP command and reads its reply; 1 or 0 like get_response.
    int SmtpCommand(const std::string& command, int index);
    // Forgets the SMTP connection without QUIT (the stream is broken or the server closes).
    void DropSmtp();
    // After a refused step of a letter: RSET keeps the connection usable for the next letter.
    void ResetSmtpTransaction();
    // Sends `command` and reads its reply with index 4 until two consecutive replies match
    // and `accept` takes the reply; false when a read fails or the pairs run out.
    template <typename Accept>
    bool ResyncQuery(const std::string& command, Accept accept);
    // LIST n, then the size as GetMessage reads it; -1 when the reply fails.
    long ListSize(int n);
    // Sends `command` and collects the data block of its multi-line reply. With `saved` (the
    // status text to extend) it shows progress and stops on a cancel.
    enum class Fetch { kOk, kRefused, kBroken, kStopped, kTooLarge };
    Fetch FetchBlock(const std::string& command, long size, const std::string* saved,
                     std::string& text);

    TaskRecord* task_ = nullptr;
    std::string smtpUser_;
    std::string smtpPass_;
    std::string smtpLogin_;
    std::string smtpPassword_;
    Security pop3Security_ = Security::kUnset;
    Security smtpSecurity_ = Security::kUnset;
    std::string pop3Pin_;
    std::string smtpPin_;
    Pop3Capabilities pop3Caps_;
    double lastHandshakeMs_ = 0;
    int smtpCheck_ = 0;
    std::array<std::array<char, 100>, kErrCount> errorTable_{};
    int pop3Connected_ = 0;
    int smtpConnected_ = 0;
    int pop3Port_ = 25;
    int smtpPort_ = 0;
    std::string lastError_;
    std::string lastReply_;
    std::string pop3Server_;
    std::string smtpServer_;
    std::string userName_;
    std::string password_;
    std::string mailIdList_;
    std::vector<std::string> refused_;
    std::deque<std::string> ahead_;  // POP3 commands sent whose replies are still to be read
    Link pop3_;
    Link smtp_;
    const baseDataStruct* account_ = nullptr;
};

}  // namespace korvo
