// Process-wide settings that the value-list compiler reads.
//
// The flag lives here, below the table collection, so that the compiler can read it without
// knowing the collection; TTableCollection exposes the same storage as its static member
// m_nCutLastSpace (a reference to g_cut_last_space), and RQ7SetTailSpaceFlag writes it.
//
// Thread safety: written only by an exported call under the API lock, never while a parallel task
// runs; compiles (on workers too) read it without a lock.
#pragma once

// Non-zero: every STRING value that is compiled loses its trailing blanks (see TrimmedLength in
// values/CCompiler.h). 0 after load.
extern int g_cut_last_space;
