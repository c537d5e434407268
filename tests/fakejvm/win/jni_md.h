/* Machine-dependent JNI types for Windows builds made with MinGW-w64, where no
 * Windows runtime's own header is at hand. Matches the Windows ABI: jint is
 * 32-bit (long is 32-bit on Windows) and JNI functions use __stdcall on i686. */
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif /* !_JAVASOFT_JNI_MD_H_ */
