// The PDF toolkit's exported functions: the subset of the toolkit's C interface that the
// post-processing calls. Every function but QuickPDFCreateLibrary takes the instance id first.
//
// Texts are passed as NUL-terminated UTF-8 (a toolkit buffer from QuickPDFCreateBuffer is one);
// passwords are taken as their bytes. Functions that report success return 1, else 0. No function
// lets an error escape: a failed call leaves the instance and the files it touched as they were.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// A new toolkit instance; its id is above 0, or 0 when none could be made.
int QuickPDFCreateLibrary(void);
// Ends the instance: the loaded document, the pending encryption and every buffer not yet released
// are dropped.
int QuickPDFReleaseLibrary(int instanceId);

// Loads the PDF at fileName as the instance's document, replacing any document loaded before.
int QuickPDFLoadFromFile(int instanceId, const char* fileName);

// Document information of the loaded document: key 1 author, 2 title, 3 subject, 4 keywords. The
// text is written whole; one that is not plain ASCII is stored so that readers show it as written
// (PDFDocEncoding when it fits, else UTF-16BE with a byte order mark). Other keys give 0.
int QuickPDFSetInformation(int instanceId, int key, const char* text);

// Security items. Item 10: the strongest encryption this toolkit writes, as a code: 7 RC4 40-bit,
// 8 RC4 128-bit, 12 AES 256-bit (the answer here). Other items give 0.
int QuickPDFSecurityInfo(int instanceId, int item);

// The permission value for QuickPDFEncrypt: each argument is non-zero to allow. The value has the
// layout of a PDF permission word (print 4, modify 8, copy 16, annotate 32, fill forms 256,
// accessibility 512, assemble 1024, high-quality print 2048, reserved bits set).
int QuickPDFEncodePermissions(int instanceId, int canPrint, int canCopy, int canChange,
                              int canAddNotes, int canFillForms, int canCopyForAccessibility,
                              int canAssemble, int canPrintHighQuality);

// Encrypts the loaded document when it is next saved. Strength: 0 RC4 40-bit (R2), 1 RC4 128-bit
// (R3), 2 AES 128-bit (R4), 3 AES 256-bit (R6). Empty passwords are allowed.
int QuickPDFEncrypt(int instanceId, const char* ownerPassword, const char* userPassword,
                    int strength, int permissions);

// Writes the loaded document to fileName, which may be the file it was loaded from. The PDF is
// written to a temporary file in the same folder and renamed over fileName, so a failed save leaves
// an existing file as it was.
int QuickPDFSaveToFile(int instanceId, const char* fileName);

// Toolkit buffers: CreateBuffer reserves a buffer for `length` bytes (always NUL-terminated),
// AddToBuffer appends `length` bytes of data, ReleaseBuffer frees it. A buffer is passed wherever
// a text is expected. Buffers belong to the instance that made them.
char* QuickPDFCreateBuffer(int instanceId, int length);
int QuickPDFAddToBuffer(int instanceId, char* buffer, const char* data, int length);
int QuickPDFReleaseBuffer(int instanceId, char* buffer);

#ifdef __cplusplus
}
#endif
