// The device connection manager: accepts Windows Mobile 5/6 phones dialling the PC's TCP
// port, reads their control channels, unlocks them, asks them for RAPI2 sessions and passes
// each session socket to the local program that asked, over a Unix socket.
//
// One thread, one epoll loop; every socket is non-blocking and every connection holds a
// bounded amount of memory. Log lines go to stderr with the journal's "<N>" priority prefix.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace connectd {

struct Options {
  std::string listen = "0.0.0.0:990";  // ADDR:PORT of the phones' TCP port
  std::string socketPath;              // "" = connectproto::DefaultListenPath()
  int sessionTimeoutMs = 25000;        // a session request whose connection never comes
  int keepAliveMs = 5000;              // 0 = no keep-alive pings
  int keepAliveMisses = 3;             // unanswered pings before the phone counts as gone
  int handshakeTimeoutMs = 30000;      // a phone that never finishes its opening exchange
  int passwordTimeoutMs = 10000;       // a WM5 phone that never answers a password
  int logLevel = 6;                    // 3 errors .. 7 debug
  std::vector<uid_t> allowUsers;       // besides the manager's own user and root
  std::vector<gid_t> allowGroups;
};

class Manager {
 public:
  explicit Manager(Options options);
  ~Manager();
  Manager(const Manager&) = delete;
  Manager& operator=(const Manager&) = delete;

  // Binds the TCP port and the Unix socket. False with *error when either fails.
  bool Start(std::string* error);
  // Serves until Stop(); returns 0.
  int Run();
  // Thread-safe and async-signal-safe: makes Run() return.
  void Stop();
  // The TCP port actually bound (useful with port 0).
  uint16_t port() const { return port_; }
  const std::string& socketPath() const { return options_.socketPath; }

 private:
  struct Conn;
  struct Phone;
  struct Client;
  struct Request;

  void Log(int level, const std::string& text) const;
  void Add(std::unique_ptr<Conn> conn, uint32_t events);
  void Close(int fd);
  void AcceptPhones();
  void AcceptClients();
  void OnFirstWord(Conn& c);
  void OnPhone(Phone& p);
  bool HandlePhoneBytes(Phone& p);
  void OnPhoneInfo(Phone& p);
  void PhoneGone(Phone& p, const std::string& why, int level);
  void OnClient(Client& c);
  void HandleRequest(Client& c, const std::string& line);
  void Reply(Client& c, const std::string& json, int passFd = -1);
  void Fail(Client& c, const char* code, const std::string& message);
  Phone* FindPhone(const std::string& name, const char** errorCode, std::string* message);
  void SessionArrived(Conn& c, uint32_t id);
  bool SendToPhone(Phone& p, const std::vector<uint8_t>& bytes);
  bool Allowed(uid_t uid, gid_t gid) const;
  int Timers();  // runs due timers; returns ms to the next one (-1: none)
  std::string DevicesJson() const;

  Options options_;
  int epoll_ = -1;
  int stopFd_ = -1;
  int tcp_ = -1;
  int unix_ = -1;
  uint16_t port_ = 0;
  uint32_t nextId_ = 1;
  std::map<int, std::unique_ptr<Conn>> conns_;
  std::map<uint32_t, std::unique_ptr<Request>> requests_;
};

}  // namespace connectd
