/* Machine-dependent JNI types for the Windows builds: the JDK installed here
   ships only the Linux jni_md.h. Java runtimes on Windows use __stdcall on
   i686 (the keyword is ignored on x86_64) and a 32-bit long. */
#ifndef TARN_JNI_MD_H
#define TARN_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
