// The alive service: with QsAliveEnabled, answers the slaves' alive checks on
// QsAlivePort from a thread of its own.
#ifndef VOLTMON_WKSRV_ALIVE_SERVICE_H_
#define VOLTMON_WKSRV_ALIVE_SERVICE_H_

#include <cstdint>
#include <memory>
#include <string>

class TAliveService {
 public:
  TAliveService();
  ~TAliveService();  // Stop()
  // Listens on `port` (every address) and answers until Stop. 0, or the
  // system error number when the port cannot be taken.
  int Start(uint16_t port);
  void Stop();

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

#endif  // VOLTMON_WKSRV_ALIVE_SERVICE_H_
