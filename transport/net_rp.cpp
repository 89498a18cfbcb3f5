#include "transport/net_rp.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <new>
#include <sstream>

#include <unistd.h>

#include "content/mail_codec.h"
#include "platform/message_hook.h"
#include "platform/string_format.h"
#include "store/diag_log.h"
#include "store/node.h"
#include "transport/outbox.h"
#include "transport/session_view.h"
#include "transport/smtp_envelope.h"
#include "transport/task_record.h"

namespace korvo {

namespace {

constexpr const char* kErrorTexts[kErrCount] = {
    "Server didn't connect",
    "Bad user name",
    "Invalid username/password combination",
    "STATus couldn't be retrieved",
    "RETRieve failed",
    "Could not delete message",
    "Error while QUITting",
    "SMTP server error",
    "SMTP server not available",
    "SMTP server not ready for data",
    "SMTP server didn't terminate session",
};

constexpr const char* kSocketError = "Socket Error";

// "++CNetRP::Name() begin" on entry, "--CNetRP::Name over" on exit.
class OpLog {
  public:
    explicit OpLog(const char* name) : name_(name) {
        LogLine(DiagLog::kMessage, "++CNetRP::%s() begin", name_);
    }
    ~OpLog() { LogLine(DiagLog::kMessage, "--CNetRP::%s over", name_); }
    OpLog(const OpLog&) = delete;
    OpLog& operator=(const OpLog&) = delete;

  private:
    const char* name_;
};

// A value of the account; absent keys read as an empty text.
std::string AccountValue(const baseDataStruct* account, std::string_view key) {
    std::string value = getinfo(account, kThisNode, key);
    return value == kAbsent ? std::string() : value;
}

// The decimal number that starts at `pos`, saturated at LONG_MAX; 0 when there are no digits.
long NumberAt(std::string_view text, size_t pos) {
    long value = 0;
    for (; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])); ++pos) {
        int digit = text[pos] - '0';
        if (value > (LONG_MAX - digit) / 10) return LONG_MAX;
        value = value * 10 + digit;
    }
    return value;
}

size_t FirstDigit(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(text[i]))) return i;
    }
    return std::string_view::npos;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
    if (word.empty() || text.size() < word.size()) return word.empty();
    const char lo = static_cast<char>(std::tolower(static_cast<unsigned char>(word[0])));
    const char up = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
    for (size_t i = 0; i + word.size() <= text.size(); ++i) {
        if (text[i] != lo && text[i] != up) continue;
        size_t k = 1;
        while (k < word.size() && std::tolower(static_cast<unsigned char>(text[i + k])) ==
                                      std::tolower(static_cast<unsigned char>(word[k]))) {
            ++k;
        }
        if (k == word.size()) return true;
    }
    return false;
}

// Only a 2xx or 3xx code is a positive reply of the mail-sending server.
bool SmtpRefusal(std::string_view reply) {
    if (reply.size() < 3) return true;
    for (int i = 0; i < 3; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(reply[i]))) return true;
    }
    return reply[0] != '2' && reply[0] != '3';
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// The upper-cased words of a capability line.
std::vector<std::string> Words(std::string_view line) {
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    for (std::string word; in >> word;) {
        for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        words.push_back(std::move(word));
    }
    return words;
}

bool Has(const std::vector<std::string>& words, std::string_view word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

// The keywords of each extension line of an EHLO reply ("250-AUTH LOGIN PLAIN").
std::vector<std::vector<std::string>> EhloExtensions(std::string_view reply) {
    std::vector<std::vector<std::string>> lines;
    bool first = true;
    while (!reply.empty()) {
        size_t end = reply.find('\n');
        std::string_view line = reply.substr(0, end);
        reply.remove_prefix(end == std::string_view::npos ? reply.size() : end + 1);
        if (!first && line.size() > 4) lines.push_back(Words(line.substr(4)));
        first = false;
    }
    return lines;
}

// A CAPA reply is a few lines; anything longer is not one.
constexpr size_t kMaxCapaBytes = 16384;

}  // namespace

Pop3Capabilities ParseCapabilities(std::string_view block) {
    Pop3Capabilities caps;
    caps.answered = true;
    while (!block.empty()) {
        size_t end = block.find('\n');
        const std::vector<std::string> words = Words(block.substr(0, end));
        block.remove_prefix(end == std::string_view::npos ? block.size() : end + 1);
        if (words.empty()) continue;
        if (words[0] == "STLS") caps.stls = true;
        if (words[0] == "PIPELINING") caps.pipelining = true;
        if (words[0] == "SASL" && Has(words, "PLAIN")) caps.saslPlain = true;
    }
    return caps;
}

CNetRP::Link::Link(Kind k, SocketTimeouts timeouts)
    : kind(k), socket(timeouts), reader([this](char* buffer, size_t size) {
          return stream().Receive(buffer, size, reader.deadline());
      }) {
    reader.SetReplyLimit(timeouts.reply);
}

void CNetRP::Link::Close() {
    tls.reset();
    socket.Close();
    reader.Reset();
}

CNetRP::CNetRP(SocketTimeouts timeouts)
    : pop3_(Link::Kind::kPop3, timeouts), smtp_(Link::Kind::kSmtp, timeouts) {
    for (int i = 0; i < kErrCount; ++i) {
        std::strncpy(errorTable_[i].data(), kErrorTexts[i], errorTable_[i].size() - 1);
    }
}

CNetRP::~CNetRP() {
    if (pop3Connected_) DisconnectPop3();
    if (smtpConnected_) DisconnectSmtp();
    pop3_.Close();
    smtp_.Close();
    if (task_) task_->SetInterrupter({});
}

const char* CNetRP::errorText(int index) const {
    if (index < 0 || index >= kErrCount) return "";
    return errorTable_[index].data();
}

void CNetRP::InitialzeAccount(const baseDataStruct* account, TaskRecord* task) {
    account_ = account;
    pop3Server_ = AccountValue(account, "pop3Server");
    pop3Port_ = static_cast<int>(TextToLong(AccountValue(account, "pop3Port")));
    smtpServer_ = AccountValue(account, "smtpServer");
    smtpPort_ = static_cast<int>(TextToLong(AccountValue(account, "smtpPort")));
    userName_ = AccountValue(account, "username");
    password_ = AccountValue(account, "password");
    smtpCheck_ = AccountValue(account, "SmtpCheck") == "True" ? 1 : 0;
    smtpUser_.clear();
    smtpPass_.clear();
    smtpLogin_.clear();
    smtpPassword_.clear();
    if (smtpCheck_) {
        smtpLogin_ = AccountValue(account, "SmtpUser");
        smtpPassword_ = AccountValue(account, "SmtpPass");
        smtpUser_ = CMailCodec::EncodeBase64Line(smtpLogin_) + "\r\n";
        smtpPass_ = CMailCodec::EncodeBase64Line(smtpPassword_) + "\r\n";
    }
    pop3Security_ = ParseSecurity(AccountValue(account, kPop3SecurityKey));
    smtpSecurity_ = ParseSecurity(AccountValue(account, kSmtpSecurityKey));
    pop3Pin_ = AccountValue(account, kPop3CertSha256Key);
    smtpPin_ = AccountValue(account, kSmtpCertSha256Key);

    if (task_ && task_ != task) task_->SetInterrupter({});
    task_ = task;
    if (!task_) return;
    mailIdList_ = task_->mailIdList;
    task_->stateText = "Run over!";
    task_->infoText = "ok";
    task_->SetInterrupter([this] {
        pop3_.socket.Cancel();
        smtp_.socket.Cancel();
    });
    // A cancel that came before the session was bound still stops it.
    if (task_->cancel.load()) {
        pop3_.socket.Cancel();
        smtp_.socket.Cancel();
    }
}

bool CNetRP::cancelled() const {
    return task_ && task_->cancel.load();
}

void CNetRP::ShowStatus(const std::string& text) {
    if (task_ && task_->view) task_->view->SetStatus(text);
}

void CNetRP::SetProgress(int percent) {
    if (task_ && task_->view) task_->view->SetProgress(percent);
}

void CNetRP::SetError(const std::string& text) {
    lastError_ = text;
    ShowStatus(lastError_);
}

void CNetRP::Send(Link& link, const std::string& command) {
    // The password stays out of the log.
    if (command.compare(0, 5, "PASS ") == 0) {
        LogLine(DiagLog::kMessage, "CNetRP send PASS ********");
    } else {
        LogLine(DiagLog::kMessage, "CNetRP send %.*s", static_cast<int>(command.size() - 2),
                command.c_str());
    }
    // A failed send shows up in the reply that follows.
    link.stream().SendAll(command);
}

void CNetRP::SendSecret(Link& link, const std::string& line) {
    LogLine(DiagLog::kMessage, "CNetRP send ********");
    link.stream().SendAll(line);
}

void CNetRP::Pop3Command(const std::string& command) {
    const auto at = std::find(ahead_.begin(), ahead_.end(), command);
    if (at == ahead_.end()) {
        if (!DropAhead(ahead_.size())) return;  // the reply read next reports the break
        Send(pop3_, command);
        return;
    }
    if (DropAhead(static_cast<size_t>(at - ahead_.begin()))) ahead_.pop_front();
}

void CNetRP::WriteAhead(const std::vector<std::string>& commands) {
    if (!pop3Caps_.pipelining || !pop3Connected_) return;
    std::string batch;
    for (const std::string& command : commands) {
        LogLine(DiagLog::kMessage, "CNetRP send ahead %.*s", static_cast<int>(command.size() - 2),
                command.c_str());
        batch += command;
        ahead_.push_back(command);
    }
    // A failed send shows up in the replies that follow.
    pop3_.stream().SendAll(batch);
}

bool CNetRP::DropAhead(size_t count) {
    for (; count > 0 && !ahead_.empty(); --count) {
        const std::string command = std::move(ahead_.front());
        ahead_.pop_front();
        std::string line;
        bool ok = pop3_.reader.ReadLine(line);
        if (ok && line.compare(0, 3, "+OK") == 0 &&
            (command.compare(0, 5, "RETR ") == 0 || command.compare(0, 4, "TOP ") == 0)) {
            // Read to its end without keeping it, and no further than any letter may go.
            std::string block;
            const auto result =
                pop3_.reader.ReadDataBlock(block, {}, {}, 0, static_cast<size_t>(kMaxLetterBytes));
            ok = result == ReplyReader::BlockResult::kComplete ||
                 result == ReplyReader::BlockResult::kTooLarge;
        }
        if (!ok) {
            // Out of step with the server: nothing more is read from this connection.
            ahead_.clear();
            pop3_.Close();
            return false;
        }
    }
    return true;
}

void CNetRP::WriteAheadMessageId(int n) {
    const std::string uidl = StrPrintf("UIDL %d\r\n", n);
    WriteAhead({uidl, uidl});
}

void CNetRP::WriteAheadMessage(int n, bool retrieve, int next) {
    const std::string list = StrPrintf("LIST %d\r\n", n);
    if (!retrieve) {
        WriteAhead({list, list});
    } else if (next <= 0) {
        WriteAhead({list, list, list, StrPrintf("RETR %d\r\n", n)});
    } else {
        const std::string uidl = StrPrintf("UIDL %d\r\n", next);
        WriteAhead({list, list, list, StrPrintf("RETR %d\r\n", n), uidl, uidl});
    }
}

void CNetRP::WriteAheadDeletes(const std::vector<int>& numbers) {
    std::vector<std::string> deletes;
    for (int n : numbers) deletes.push_back(StrPrintf("DELE %d\r\n", n));
    WriteAhead(deletes);
}

int CNetRP::get_response(Link& link, int index) {
    std::string reply;
    bool ok = link.kind == Link::Kind::kPop3 ? link.reader.ReadLine(reply)
                                             : link.reader.ReadSmtpReply(reply);
    if (!ok) {
        // Nothing more can be read from this stream.
        if (link.kind == Link::Kind::kPop3) {
            pop3Connected_ = 0;
        } else {
            DropSmtp();
        }
        SetError(kSocketError);
        return 0;
    }
    lastReply_ = std::move(reply);
    const bool refused = link.kind == Link::Kind::kSmtp ? SmtpRefusal(lastReply_)
                                                        : lastReply_.compare(0, 4, "-ERR") == 0 ||
                                                              lastReply_.compare(0, 2, "50") == 0 ||
                                                              lastReply_.compare(0, 2, "40") == 0;
    if (refused) {
        // 421: the server is closing the connection.
        if (link.kind == Link::Kind::kSmtp && lastReply_.compare(0, 3, "421") == 0) DropSmtp();
        SetError(errorText(index));
        return 0;
    }
    return 1;
}

std::string CNetRP::ReportError() {
    if (task_) {
        task_->stateText = "Faile";
        task_->infoText = lastError_;
    }
    return lastError_;
}

bool CNetRP::OpenLink(Link& link, const std::string& host, int port, const char* failure) {
    link.Close();
    switch (link.socket.Connect(host, port)) {
        case ConnectResult::kCreateFailed:
            SetError("Unable to create the socket.");
            return false;
        case ConnectResult::kConnectFailed:
            SetError(failure);
            link.Close();
            return false;
        case ConnectResult::kOk:
            break;
    }
    return true;
}

bool CNetRP::StartTls(Link& link, const std::string& host, const std::string& pin,
                      CertificateProblem::Server server) {
    ShowStatus("Secure connection to " + host + "...");
    // Whatever came in clear before the handshake must not be read as a reply after it.
    link.reader.Reset();
    auto tls = std::make_unique<TlsStream>(link.socket);
    switch (tls->Handshake(host, pin)) {
        case TlsStream::Result::kOk:
            lastHandshakeMs_ = tls->handshakeMs();
            link.tls = std::move(tls);
            return true;
        case TlsStream::Result::kFailed:
            SetError(cancelled() ? std::string(kSocketError) : tls->error());
            return false;
        case TlsStream::Result::kUntrusted:
            break;
    }
    CertificateProblem problem = tls->certificate();
    problem.server = server;
    SetError(tls->error() + ". SHA-256 fingerprint " + problem.sha256);
    if (task_) task_->certificate = std::move(problem);
    return false;
}

bool CNetRP::QueryCapabilities() {
    pop3Caps_ = {};
    Send(pop3_, "CAPA\r\n");
    std::string line;
    if (!pop3_.reader.ReadLine(line)) {
        SetError(kSocketError);
        return false;
    }
    // A server that does not know CAPA refuses it and goes on as before.
    if (line.compare(0, 3, "+OK") != 0) return true;
    std::string block;
    if (pop3_.reader.ReadDataBlock(block, {}, {}, kMaxCapaBytes, 0) !=
        ReplyReader::BlockResult::kComplete) {
        SetError(kSocketError);
        return false;
    }
    pop3Caps_ = ParseCapabilities(block);
    return true;
}

bool CNetRP::LoginPop3() {
    if (pop3Caps_.saslPlain) {
        // RFC 5034 with the initial response: authorisation id empty, then user and password.
        ShowStatus("User " + userName_);
        SendSecret(pop3_, "AUTH PLAIN " +
                              CMailCodec::EncodeBase64Line(std::string(1, '\0') + userName_ +
                                                           std::string(1, '\0') + password_) +
                              "\r\n");
        return get_response(pop3_, kErrPass) != 0;
    }

    std::string user = StrPrintf("USER %s\r\n", userName_.c_str());
    Send(pop3_, user);
    ShowStatus("User " + user.substr(0, user.size() - 2));
    if (!get_response(pop3_, kErrUser)) return false;
    Send(pop3_, StrPrintf("PASS %s\r\n", password_.c_str()));
    ShowStatus("password ********");
    return get_response(pop3_, kErrPass) != 0;
}

int CNetRP::ConnectPop3() {
    OpLog log("ConnectPop3");
    if (pop3Connected_) return 1;
    ShowStatus("Connect POP3 server...");
    // A line break inside a credential would smuggle in a command of its own: nothing is sent.
    if (HasLineBreak(userName_)) {
        SetError(errorText(kErrUser));
        return 0;
    }
    if (HasLineBreak(password_)) {
        SetError(errorText(kErrPass));
        return 0;
    }
    ahead_.clear();
    if (!OpenLink(pop3_, pop3Server_, pop3Port_, "Unable to connect to server!")) return 0;
    auto fail = [this] {
        pop3_.Close();
        pop3Connected_ = 0;
        return 0;
    };
    if (pop3Security_ == Security::kSsl &&
        !StartTls(pop3_, pop3Server_, pop3Pin_, CertificateProblem::Server::kPop3)) {
        return fail();
    }
    if (!get_response(pop3_, kErrGreeting)) return fail();

    // CAPA once after the greeting: whether to secure the connection, how to log in, and
    // whether commands may be written ahead.
    if (!QueryCapabilities()) return fail();
    if (pop3Security_ != Security::kNone) {
        if (!pop3_.tls && (pop3Caps_.stls || pop3Security_ == Security::kStartTls)) {
            if (!pop3Caps_.stls) {
                SetError("The POP3 server offers no STLS; the login was not sent");
                return fail();
            }
            Send(pop3_, "STLS\r\n");
            if (!get_response(pop3_, kErrGreeting)) {
                SetError("The POP3 server refused STLS; the login was not sent");
                return fail();
            }
            if (!StartTls(pop3_, pop3Server_, pop3Pin_, CertificateProblem::Server::kPop3)) {
                return fail();
            }
            // What was announced in clear may have been altered: ask again.
            if (!QueryCapabilities()) return fail();
        }
    }
    if (!LoginPop3()) return fail();
    pop3Connected_ = 1;
    return 1;
}

int CNetRP::DisconnectPop3() {
    OpLog log("DisconnectPop3");
    if (!pop3Connected_) return 1;
    Pop3Command("QUIT\r\n");
    int result = get_response(pop3_, kErrQuit);
    pop3_.Close();
    pop3Connected_ = 0;
    return result;
}

std::string CNetRP::LocalHostName() {
    char name[81] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    name[80] = '\0';
    return name;
}

void CNetRP::DropSmtp() {
    smtp_.Close();
    smtpConnected_ = 0;
}

int CNetRP::SmtpCommand(const std::string& command, int index) {
    Send(smtp_, command);
    return get_response(smtp_, index);
}

bool CNetRP::AuthenticateSmtp(const std::string& ehlo) {
    bool listed = false;
    bool plain = false;
    bool login = false;
    for (const auto& words : EhloExtensions(ehlo)) {
        if (words.empty() || words[0] != "AUTH") continue;
        listed = true;
        plain = plain || Has(words, "PLAIN");
        login = login || Has(words, "LOGIN");
    }
    if (plain) {
        SendSecret(smtp_, "AUTH PLAIN " +
                              CMailCodec::EncodeBase64Line(std::string(1, '\0') + smtpLogin_ +
                                                           std::string(1, '\0') + smtpPassword_) +
                              "\r\n");
        return get_response(smtp_, kErrSmtp) != 0;
    }
    // A server that lists no mechanisms may still take LOGIN, as it always was tried.
    if (listed && !login) {
        SetError("The SMTP server offers neither AUTH PLAIN nor AUTH LOGIN");
        return false;
    }
    if (!SmtpCommand("AUTH LOGIN\r\n", kErrSmtp)) return false;
    SendSecret(smtp_, smtpUser_);
    if (!get_response(smtp_, kErrSmtp)) return false;
    SendSecret(smtp_, smtpPass_);
    return get_response(smtp_, kErrSmtp) != 0;
}

int CNetRP::ConnectSmtp() {
    OpLog log("ConnectSmtp");
    if (smtpConnected_) return 1;
    if (!OpenLink(smtp_, smtpServer_, smtpPort_, "Unable to connect to server")) return 0;
    auto fail = [this] {
        DropSmtp();
        return 0;
    };
    if (smtpSecurity_ == Security::kSsl &&
        !StartTls(smtp_, smtpServer_, smtpPin_, CertificateProblem::Server::kSmtp)) {
        return fail();
    }
    if (!get_response(smtp_, kErrSmtpGreeting)) {
        lastError_ = "Server didn't respond.";
        return fail();
    }
    const std::string host = LocalHostName();
    if (!smtpCheck_ && smtpSecurity_ == Security::kNone) {
        if (!SmtpCommand(StrPrintf("HELO %s\r\n", host.c_str()), kErrSmtp)) return fail();
        smtpConnected_ = 1;
        return 1;
    }
    const std::string ehlo = StrPrintf("EHLO %s\r\n", host.c_str());
    if (!SmtpCommand(ehlo, kErrSmtp)) {
        // Without the key and without authentication an old server may know HELO only.
        if (!smtp_.socket.isOpen() || smtp_.tls || smtpCheck_ ||
            smtpSecurity_ != Security::kUnset ||
            !SmtpCommand(StrPrintf("HELO %s\r\n", host.c_str()), kErrSmtp)) {
            return fail();
        }
        smtpConnected_ = 1;
        return 1;
    }
    if (!smtp_.tls && smtpSecurity_ != Security::kNone) {
        bool offered = false;
        for (const auto& words : EhloExtensions(lastReply_)) {
            offered = offered || (!words.empty() && words[0] == "STARTTLS");
        }
        if (offered) {
            if (!SmtpCommand("STARTTLS\r\n", kErrSmtp)) return fail();
            if (!StartTls(smtp_, smtpServer_, smtpPin_, CertificateProblem::Server::kSmtp)) {
                return fail();
            }
            // RFC 3207: everything learnt before TLS is forgotten.
            if (!SmtpCommand(ehlo, kErrSmtp)) return fail();
        } else if (smtpSecurity_ == Security::kStartTls) {
            SetError("The SMTP server offers no STARTTLS; nothing was sent");
            return fail();
        }
    }
    if (smtpCheck_ && !AuthenticateSmtp(lastReply_)) return fail();
    smtpConnected_ = 1;
    return 1;
}

int CNetRP::DisconnectSmtp() {
    OpLog log("DisconnectSmtp");
    if (!smtpConnected_) return 1;
    Send(smtp_, "QUIT\r\n");
    int result = get_response(smtp_, kErrSmtpQuit);
    DropSmtp();
    return result;
}

void CNetRP::ResetSmtpTransaction() {
    if (!smtpConnected_) return;
    // The reason the letter failed stays the error; a refused RSET leaves no usable state.
    const std::string error = lastError_;
    const std::string status = task_ && task_->view ? task_->view->Status() : std::string();
    if (!SmtpCommand("RSET\r\n", kErrSmtp)) DropSmtp();
    lastError_ = error;
    ShowStatus(status);
}

int CNetRP::SendMailData(const baseDataStruct* letter) {
    return SendMailText(getdata(letter, "SDATA").value_or(std::string_view()));
}

int CNetRP::SendMailText(std::string_view text, std::string_view blindCopies) {
    OpLog log("SendMailData");
    refused_.clear();
    const std::string saved = task_ && task_->view ? task_->view->Status() : std::string();
    SmtpEnvelope envelope = ReadEnvelope(text);
    AddRecipients(envelope, blindCopies);
    if (!smtpConnected_) return 0;
    refused_ = envelope.unusable;
    if (envelope.recipients.empty()) {
        SetError("No valid receiver address");
        return 0;
    }

    ShowStatus("Set MAIL From");
    SetProgress(0);
    if (!SmtpCommand(StrPrintf("MAIL FROM:<%s>\r\n", envelope.from.c_str()), kErrSmtp)) {
        ResetSmtpTransaction();
        return 0;
    }
    ShowStatus("Set MAIL To");
    size_t accepted = 0;
    for (const std::string& to : envelope.recipients) {
        if (SmtpCommand(StrPrintf("RCPT TO:<%s>\r\n", to.c_str()), kErrSmtp)) {
            ++accepted;
            continue;
        }
        if (!smtpConnected_) return 0;
        refused_.push_back(to);
    }
    if (accepted == 0) {
        SetError(errorText(kErrSmtp));
        ResetSmtpTransaction();
        return 0;
    }

    ShowStatus("Send Data");
    if (!SmtpCommand("DATA\r\n", kErrSmtpData) || lastReply_[0] != '3') {
        // A 2xx here would make the server read the letter as commands.
        if (smtpConnected_) {
            SetError(errorText(kErrSmtpData));
            ResetSmtpTransaction();
        }
        return 0;
    }
    const size_t chunks = (text.size() + kDataChunk - 1) / kDataChunk;
    DataStuffer stuffer;
    std::string wire;
    bool sent = true;
    for (size_t k = 0; k < chunks && sent; ++k) {
        wire.clear();
        stuffer.Add(text.substr(k * kDataChunk, kDataChunk), wire);
        // The end of data goes in the same write as the last piece.
        if (k + 1 == chunks) wire += stuffer.Terminator();
        sent = smtp_.stream().SendAll(wire);
        SetProgress(static_cast<int>((k + 1) * 100 / chunks));
        ShowStatus(
            StrPrintf("%s(%zu)", saved.c_str(), std::min(text.size(), (k + 1) * kDataChunk)));
    }
    if (chunks == 0) sent = smtp_.stream().SendAll(stuffer.Terminator());
    SetProgress(100);
    if (!get_response(smtp_, kErrSmtp)) {
        LogLine(DiagLog::kWarning, "CNetRP::SendMailData , con't send this mail!");
        ShowMessage("con't send this mail!");
        // Whatever the server made of a letter cut short, this stream is out of step.
        if (!sent) DropSmtp();
        return 0;
    }
    if (!sent) {
        DropSmtp();
        SetError(kSocketError);
        return 0;
    }
    return 1;
}

void CNetRP::SendMail(Outbox& outbox) {
    OpLog log("SendMail");
    if (!ConnectSmtp()) {
        ShowStatus(ReportError());
        DisconnectSmtp();
        return;
    }
    const std::string saved = task_ && task_->view ? task_->view->Status() : std::string();
    std::string failure;
    std::vector<std::string> refused;
    for (uint32_t letter : outbox.PendingLetters()) {
        if (cancelled() || !smtpConnected_) break;
        std::string text;
        if (!outbox.MessageText(letter, text)) continue;
        ShowStatus(saved);
        if (SendMailText(text, outbox.BlindCopies(letter))) {
            outbox.MarkSent(letter);
            for (const std::string& address : refused_) {
                if (std::find(refused.begin(), refused.end(), address) == refused.end()) {
                    refused.push_back(address);
                }
            }
        } else {
            failure = lastError_;
            outbox.MarkFailed(letter, lastError_);
        }
    }
    DisconnectSmtp();
    if (!failure.empty()) {
        lastError_ = failure;
        ReportError();
    }
    if (!refused.empty() && task_) {
        std::string list;
        for (const std::string& address : refused) list += (list.empty() ? "" : ", ") + address;
        task_->infoText = (failure.empty() ? std::string() : failure + "; ") + "Refused: " + list;
    }
}

int CNetRP::GetNumMessages() {
    OpLog log("GetNumMessages");
    Pop3Command("STAT\r\n");
    if (!get_response(pop3_, kErrStat)) {
        pop3Connected_ = 0;
        return -1;
    }
    size_t digit = FirstDigit(lastReply_);
    if (digit == std::string::npos) {
        pop3Connected_ = 0;
        return -1;
    }
    return static_cast<int>(std::min<long>(NumberAt(lastReply_, digit), INT_MAX));
}

template <typename Accept>
bool CNetRP::ResyncQuery(const std::string& command, Accept accept) {
    // Both queries of the first pair go out together.
    if (ahead_.empty()) WriteAhead({command, command});
    Pop3Command(command);
    if (!get_response(pop3_, kErrRetrieve)) return false;
    std::string previous = lastReply_;
    for (int replies = 1; replies < 2 * kMaxQueryPairs;) {
        Pop3Command(command);
        if (!get_response(pop3_, kErrRetrieve)) return false;
        ++replies;
        if (lastReply_ == previous) {
            if (accept(lastReply_)) return true;
            if (replies >= 2 * kMaxQueryPairs) break;
            // Not usable yet: start a fresh pair.
            Pop3Command(command);
            if (!get_response(pop3_, kErrRetrieve)) return false;
            ++replies;
        }
        previous = lastReply_;
    }
    SetError(errorText(kErrRetrieve));
    return false;
}

long CNetRP::GetMessageLen(int n) {
    OpLog log("GetMessageLen");
    const std::string key = StrPrintf(" %d ", n);
    long size = 0;
    int notFound = 0;
    long smallSeen = -1;
    bool ok = ResyncQuery(StrPrintf("LIST %d\r\n", n), [&](const std::string& reply) {
        std::string_view line(reply);
        line = line.substr(0, line.find('\r'));
        size_t at = line.find(key);
        if (at == std::string_view::npos) {
            if (++notFound < 2) return false;
            size = 0;
            return true;
        }
        size = NumberAt(line, at + key.size());
        if (size >= 10) return true;
        // A letter really that small answers the same twice in a row.
        if (size == smallSeen) return true;
        smallSeen = size;
        return false;
    });
    if (!ok) {
        pop3Connected_ = 0;
        return -1;
    }
    return size;
}

bool IsValidUniqueId(std::string_view id) {
    if (id.empty() || id.size() > kMaxUniqueIdLength) return false;
    return std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x21 && c <= 0x7E; });
}

CNetRP::UidResult CNetRP::GetMessageId(int n, std::string& id) {
    OpLog log("GetMessageId");
    if (!ResyncQuery(StrPrintf("UIDL %d\r\n", n), [](const std::string&) { return true; })) {
        pop3Connected_ = 0;
        return UidResult::kBroken;
    }
    // "+OK n id": the whole id, exactly as the server gives it.
    std::string_view line(lastReply_);
    if (line.ends_with("\r\n")) {
        line.remove_suffix(2);
    } else if (line.ends_with('\n')) {
        line.remove_suffix(1);
    }
    const std::string number = std::to_string(n);
    auto skipSpaces = [&line] {
        const size_t at = line.find_first_not_of(' ');
        const bool had = at != 0;
        line.remove_prefix(at == std::string_view::npos ? line.size() : at);
        return had;
    };
    bool sound = line.starts_with("+OK");
    if (sound) {
        line.remove_prefix(3);
        sound = skipSpaces() && line.starts_with(number);
    }
    if (sound) {
        line.remove_prefix(number.size());
        sound = skipSpaces() && IsValidUniqueId(line);
    }
    if (!sound) {
        SetError("Bad unique id from the server for letter " + number);
        return UidResult::kInvalid;
    }
    id = std::string(line);
    return UidResult::kOk;
}

long CNetRP::ListSize(int n) {
    Pop3Command(StrPrintf("LIST %d\r\n", n));
    if (!get_response(pop3_, kErrRetrieve)) return -1;
    size_t digit = FirstDigit(lastReply_);
    if (digit == std::string::npos) return 0;
    size_t space = lastReply_.find(' ', digit);
    if (space == std::string::npos) return 0;
    return NumberAt(lastReply_, space + 1);
}

CNetRP::Fetch CNetRP::FetchBlock(const std::string& command, long size, const std::string* saved,
                                 std::string& text) {
    Pop3Command(command);
    if (!get_response(pop3_, kErrRetrieve)) {
        return pop3Connected_ ? Fetch::kRefused : Fetch::kBroken;
    }
    ReplyReader::Progress progress;
    ReplyReader::StopCheck stop;
    if (saved) {
        progress = [&](size_t received) {
            ShowStatus(StrPrintf("%s(%zu)", saved->c_str(), received));
            // Without a size from LIST only the byte count above means anything.
            if (size > 0) {
                double percent = static_cast<double>(received) * 100.0 / static_cast<double>(size);
                SetProgress(static_cast<int>(std::min(percent, 100.0)));
            }
        };
        stop = [this] { return cancelled(); };
    }
    // A letter may grow a little on the wire (dot-stuffing, line ends); beyond a tenth more
    // than announced it is not what LIST described, and it is read to its end and dropped.
    size_t keep = static_cast<size_t>(kMaxLetterBytes);
    if (size > 0 && size < kMaxLetterBytes) {
        keep = std::min(keep, static_cast<size_t>(size + size / 10 + 1024));
    }
    ReplyReader::BlockResult result;
    try {
        result = pop3_.reader.ReadDataBlock(text, progress, stop, keep,
                                            static_cast<size_t>(kMaxLetterBytes));
    } catch (const std::bad_alloc&) {
        text = std::string();
        pop3_.Close();
        pop3Connected_ = 0;
        SetError("Not enough memory for the letter");
        return Fetch::kBroken;
    }
    switch (result) {
        case ReplyReader::BlockResult::kComplete:
            return Fetch::kOk;
        case ReplyReader::BlockResult::kTooLarge:
            SetError("The letter is larger than the server announced; it was skipped");
            return Fetch::kTooLarge;
        case ReplyReader::BlockResult::kBroken:
            pop3Connected_ = 0;
            SetError(kSocketError);
            return Fetch::kBroken;
        case ReplyReader::BlockResult::kStopped:
            // The rest of the letter is still on its way: this stream is out of step.
            pop3Connected_ = 0;
            text.clear();
            return Fetch::kStopped;
    }
    return Fetch::kBroken;
}

std::string CNetRP::GetMessage(int n, std::string& text) {
    OpLog log("GetMessage");
    const std::string saved = task_ && task_->view ? task_->view->Status() : std::string();
    for (int attempt = 0; attempt < 2; ++attempt) {
        long size = ListSize(n);
        if (size < 0) return "-1";
        if (size > kMaxLetterBytes) {
            SetError("The letter is larger than 512 MB; it was skipped");
            return kTooLarge;
        }
        std::string body;
        const Fetch fetched = FetchBlock(StrPrintf("RETR %d\r\n", n), size, &saved, body);
        if (fetched == Fetch::kTooLarge) return kTooLarge;
        if (fetched != Fetch::kOk) return "-1";
        SetProgress(100);
        text = std::move(body);
        // A letter without a trace header may have been cut short; fetch it once more.
        if (ContainsNoCase(text, "received") || cancelled() || attempt == 1) {
            return LongToText(size);
        }
    }
    return "-1";
}

std::string CNetRP::GetMessageHead(int n, std::string& text) {
    OpLog log("GetMessageHead");
    for (int attempt = 0; attempt < 2; ++attempt) {
        long size = ListSize(n);
        if (size < 0) return "-1";
        std::string block;
        if (FetchBlock(StrPrintf("TOP %d 1\r\n", n), size, nullptr, block) != Fetch::kOk) {
            return "-1";
        }
        size_t blank = block.find("\r\n\r\n");
        if (blank != std::string::npos && blank >= 1) block.resize(blank);
        text = std::move(block);
        if (ContainsNoCase(text, "received") || cancelled() || attempt == 1) {
            return LongToText(size);
        }
    }
    return "-1";
}

int CNetRP::DeleteMessage(int n) {
    OpLog log("DeleteMessage");
    Pop3Command(StrPrintf("DELE %d\r\n", n));
    return get_response(pop3_, kErrDelete);
}

}  // namespace korvo
