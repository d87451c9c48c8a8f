// SPDX-License-Identifier: GPL-3.0-or-later
/* A host module that exports every entry point but ExeOperator. The load
   must notice the missing one and register nothing; none of these is
   ever called, and each counts its calls so the test can tell. */
int incomplete_host_calls = 0;

void TestRunErr(void) { ++incomplete_host_calls; }
void SetRunErr(void) { ++incomplete_host_calls; }
void QeCal(void) { ++incomplete_host_calls; }
void GetFor(void) { ++incomplete_host_calls; }
void GetStr(void) { ++incomplete_host_calls; }
void GetArray(void) { ++incomplete_host_calls; }
void SetFunction(void) { ++incomplete_host_calls; }
void SetConst(void) { ++incomplete_host_calls; }
void ParaModify(void) { ++incomplete_host_calls; }
void SearchKey(void) { ++incomplete_host_calls; }
void DeleteKey(void) { ++incomplete_host_calls; }
void LockKey(void) { ++incomplete_host_calls; }
void NewSysObj(void) { ++incomplete_host_calls; }
void FunReObj(void) { ++incomplete_host_calls; }
void FunSaveObj(void) { ++incomplete_host_calls; }
void ExMsgWithQe(void) { ++incomplete_host_calls; }
