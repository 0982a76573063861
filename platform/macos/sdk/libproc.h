// <libproc.h> and <sys/proc_info.h>: when the kernel started a process.
// Apple documents neither; this follows the headers of Apple's open-source
// Libc and xnu (libproc.h, bsd/sys/proc_info.h).
#pragma once
#include <stdint.h>
#include <sys/types.h>
#include "Availability.h"

#define PROC_PIDTBSDINFO 3
#define MAXCOMLEN 16
struct proc_bsdinfo {
  uint32_t pbi_flags;
  uint32_t pbi_status;
  uint32_t pbi_xstatus;
  uint32_t pbi_pid;
  uint32_t pbi_ppid;
  uid_t pbi_uid;
  gid_t pbi_gid;
  uid_t pbi_ruid;
  gid_t pbi_rgid;
  uid_t pbi_svuid;
  gid_t pbi_svgid;
  uint32_t rfu_1;
  char pbi_comm[MAXCOMLEN];
  char pbi_name[2 * MAXCOMLEN];
  uint32_t pbi_nfiles;
  uint32_t pbi_pgid;
  uint32_t pbi_pjobc;
  uint32_t e_tdev;
  uint32_t e_tpgid;
  int32_t pbi_nice;
  uint64_t pbi_start_tvsec;
  uint64_t pbi_start_tvusec;
};
#ifdef __cplusplus
extern "C" {
#endif
int proc_pidinfo(int pid, int flavor, uint64_t arg, void* buffer, int buffersize) TL_SINCE(10.5);
#ifdef __cplusplus
}
#endif
