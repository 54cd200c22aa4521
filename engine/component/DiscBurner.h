// TDiscBurner: the one object through which the front ends use the engine.
// It embeds the image builder and the drive record, publishes the switches
// as properties, forwards the operations, and hands completion notices from
// the worker threads to the thread that owns it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/builder/TreeTypes.h"
#include "engine/drive/SCSIDefs.h"
#include "engine/platform/MessageTarget.h"

namespace tessor::builder {
struct TRecordedSession;
}

namespace tessor::component {

using TAddFileEvent = builder::TAddFileHandler;
using TEraseDoneEvent = std::function<void(void* sender, uint8_t deviceId, bool eraseFailed)>;
using TWriteDoneEvent = std::function<void(void* sender, uint8_t deviceId, bool writeFailed)>;
using TVerifyDoneEvent =
    std::function<void(void* sender, uint8_t deviceId, int32_t fileId, bool failed)>;
// CanSaveBytes is 64 bits wide: a compilation's copies pass 2 GiB easily.
using TSmartRefGenDoneEvent = std::function<void(void* sender, bool failed, int64_t canSaveBytes)>;
using TSourceNote = builder::TSourceNote;

class TDiscBurner {
public:
    // With an owner, completions are posted to Messages() and raised on the
    // thread that dispatches it (the CLI pumps it, the window's event loop
    // wakes for it). Without one, worker threads call the handlers directly.
    explicit TDiscBurner(bool hasOwner = true);
    ~TDiscBurner();
    TDiscBurner(const TDiscBurner&) = delete;
    TDiscBurner& operator=(const TDiscBurner&) = delete;

    // ---- published properties
    bool BurnProof() const { return drive_.BurnProof != 0; }
    void SetBurnProof(bool on) { drive_.BurnProof = on; }
    bool TestWrite() const { return drive_.TestWrite != 0; }
    void SetTestWrite(bool on) { drive_.TestWrite = on; }
    bool FinalizeDisc() const { return drive_.FinalizeDisc != 0; }
    void SetFinalizeDisc(bool on) { drive_.FinalizeDisc = on; }
    bool ReplaceFile() const { return builder_.ReplaceFileFlag != 0; }
    void SetReplaceFile(bool on) { builder_.ReplaceFileFlag = on; }
    std::string VolumeID() const;
    void SetVolumeID(const std::string& label);
    uint32_t CacheSize() const;
    void SetCacheSize(uint32_t megabytes);
    bool JolietFileSystem() const { return builder_.JolietFileSystem != 0; }
    void SetJolietFileSystem(bool on) { builder_.JolietFileSystem = on; }
    bool ISO9660v1999FS() const { return builder_.ISO9660v1999FS != 0; }
    void SetISO9660v1999FS(bool on) { builder_.ISO9660v1999FS = on; }
    bool UDFBridge() const { return builder_.UDFBridge != 0; }
    void SetUDFBridge(bool on) { builder_.UDFBridge = on; }
    std::string Version() const { return "1.24 (20110803)"; }
    std::string BootImage() const;
    void SetBootImage(const std::string& path);
    // The sizes a boot image may have, in bytes, as text: "2048, 1228800, 1474560 or 2949120".
    static std::string BootImageSizes();

    // ---- events
    TAddFileEvent OnAddFile;
    TEraseDoneEvent OnEraseDone;
    TSmartRefGenDoneEvent OnGenerateSmartReferencesDone;
    TWriteDoneEvent OnWriteDone;
    TVerifyDoneEvent OnVerifyDone;

    // ---- drive list and drive
    bool ScanDevices(uint8_t useAspi, const std::string& aspiLibrary, const std::string& logFile);
    uint8_t DeviceCount() const;
    std::string DeviceName(uint8_t index) const;
    bool SelectDevice(uint8_t index);
    // Whether the drive is ready for a job, asked as drives expect: a unit
    // attention (a changed disc) is answered by asking again, and a drive
    // that is busy or becoming ready is waited for, for up to 30 s, with
    // whileWaiting run between the questions.
    bool DeviceReady(const std::function<void()>& whileWaiting = {});
    bool IsWriter() const;
    bool DiscErasable();
    uint32_t DiscFreeSectors();
    uint32_t DiscCapacitySectors();
    uint16_t MaxWriteSpeed();
    bool SetSpeeds(uint16_t readSpeed, uint16_t writeSpeed);
    bool LoadTray(bool immediate);
    bool EjectTray(bool immediate);
    // Holds the current drive against other programs' jobs until released
    // (writes, erases and tray movements hold it on their own as well), so
    // that a workflow's erase and write follow each other with nobody in
    // between. False (ErrorText says why) when another program holds it.
    bool ReserveDevice();
    void ReleaseDevice();
    // The media code of the disc in the current drive (sends commands).
    uint8_t MediaType();
    // The disc status of READ DISC INFORMATION: 0 blank, 1 appendable,
    // 2 complete, 3 other (overwritable media); -1 when the drive gives none.
    int DiscStatus();
    // A media code as people name the medium ("DVD+RW", "no disc").
    static const char* MediaTypeName(uint8_t mediaType);
    // Pressed media (CD-ROM, DVD-ROM, BD-ROM, ...): nothing can be written.
    static bool IsPressedMedium(uint8_t mediaType);
    // Overwritable media (DVD+RW, DVD-RAM, BD-RE, DVD-RW in restricted
    // overwrite): a further session goes behind the volume whatever state
    // the disc reports.
    static bool IsOverwritableMedium(uint8_t mediaType);

    // ---- compilation
    void ClearFiles();
    void SetVolumeIDW(std::u16string_view label);
    builder::TDirEntry* CreateDir(std::u16string_view destPath, std::u16string_view name);
    builder::TFileEntry* AddFile(std::u16string_view destPath, std::u16string_view fileName);
    builder::TDirEntry* AddFolder(std::u16string_view destPath, std::u16string_view sourceDir,
                                  std::u16string_view mask, bool recursive, bool keepSourcePath);
    int32_t PrepareImage();
    // Carries the directory of the last session on the disc in the current
    // drive into the compilation: its entries point at their recorded data,
    // and an entry the compilation already holds (a source of the new
    // session) keeps its place, noted in SourceNotes. Returns the entries
    // carried forward, 0 when the disc holds no session, -1 when the session
    // cannot be read or does not fit the compilation (ImportError says why;
    // nothing is carried then, and the new session may be written alone).
    // Status() is S_IMPORTING_SESSION
    // meanwhile. When data of the session lie where the UDF bridge cannot
    // reach them, the bridge is switched off (ImportTurnedOffUdf).
    int32_t ImportSession();
    // The last session's directory without carrying it: 1 read, 0 no
    // session on the disc, -1 unreadable (ImportError says why).
    int ReadSession(builder::TRecordedSession& session);
    const std::string& ImportError() const { return importError_; }
    bool ImportTurnedOffUdf() const { return importUdfOff_; }
    // Looks for files of the compilation with identical contents, on a
    // worker thread: Status is S_GEN_SM_REF, ImageSectors the sectors to
    // read and WrittenSectors those read; Abort stops it. Its end is
    // OnGenerateSmartReferencesDone (Failed: aborted; CanSaveBytes: the
    // bytes the sets save). The next PrepareImage writes each set once (and
    // must come before a write). False when a write or a search runs. Calls
    // that change or lay out the compilation wait until the search ends.
    bool GenerateSmartReferences();
    // What the last search found: files that share another's copy, and
    // their bytes. Read them after its event.
    uint64_t SmartReferenceFiles() const { return builder_.Smart.Files; }
    uint64_t SmartReferenceBytes() const { return builder_.Smart.SavedBytes; }
    // Whether CreateDir, AddFile or AddFolder skipped the entry asked for
    // (the add-file handler or a name too long said so); the call still
    // counts as successful.
    static bool IsSkipped(const builder::TDirEntry* dir);
    static bool IsSkipped(const builder::TFileEntry* entry);
    // Every source that the compilation leaves out or holds under another
    // name since ClearFiles, with the reason, in the order met.
    const std::vector<TSourceNote>& SourceNotes() const { return builder_.SourceNotes; }

    // ---- writing, erasing, progress
    bool WriteDisc();
    bool WriteImageToDisc(const std::string& imageFile);
    bool CreateImageFile(std::u16string_view imageFile);
    // True when the file at path is one of the compilation's sources (the
    // same file on disk): an image must never be written over it.
    bool ImageIsSource(std::u16string_view path) const;
    bool EraseDisc(bool quick);
    // ---- verifying: what was written read back and compared. While it
    // runs, Status() is S_VERIFYING, ImageSectors() the sectors to compare
    // and WrittenSectors() those compared so far. Exactly one OnVerifyDone
    // follows each call (already raised, failed, when the call returns
    // false). Its FileId is the index in Builder().FileTable of the file
    // holding the first block that differs or cannot be read, or one of:
    static constexpr int32_t kVerifyFileSystemArea = -1;  // outside every file
    static constexpr int32_t kVerifyNoBlock = -2;         // verified, aborted, or no block read
    // The session the last WriteDisc or WriteImageToDisc put on the disc in
    // the current drive, at the addresses it went to, against the digests
    // kept while it was written.
    bool VerifyDisc();
    // For a disc written earlier: lays the prepared compilation out as the
    // last session of the disc in the current drive holds it and reads the
    // sources into digests, writing nothing (Status() S_VERIFYING, progress
    // as for a write, OnWriteDone at the end); VerifyDisc then compares the
    // disc with them. A disc with no such session fails at once.
    bool ReadSourcesForVerify();
    // The disc in the current drive from block 0 against an image file.
    bool VerifyDiscAgainstImage(const std::string& imageFile);
    // The image file the last CreateImageFile made, read back.
    bool VerifyImageFile();
    void Abort();
    std::string ErrorText();
    // The error as ErrorText gives it (and cleared the same way), with what
    // a user needs to act on it in Detail: for a file the system's reason
    // ("No such file or directory"), for a drive its sense in hex and its
    // meaning ("05/21/00 logical block address out of range"), for a drive
    // another program holds or that may only be read, which device and why.
    struct TErrorReport {
        std::string Text;
        std::string Detail;
    };
    TErrorReport TakeError();
    uint16_t Status() const { return builder_.StatusCode.load(); }
    // The language key of a status code ("S_WRITING"); "UNKNOWN_STATUS" for
    // a code the engine does not have.
    static const char* StatusName(uint16_t status);
    int32_t ImageSectors() const { return builder_.TotalSectors.load(); }
    int32_t WrittenSectors() const { return static_cast<int32_t>(builder_.SectorsWritten.load()); }
    int32_t CacheFill() const { return builder_.BlockCount.load() * builder::kBlockSize; }
    // The drive buffer as the write thread last read it; no command is sent.
    uint32_t DeviceBufferSize() const { return drive_.BufferCapacity.load(); }
    int32_t DeviceBufferUsed() const {
        return static_cast<int32_t>(drive_.BufferCapacity.load() - drive_.BufferBlank.load());
    }

    // The owner's message target; null for a component without owner.
    platform::TMessageTarget* Messages() { return messages_.get(); }

    // The engine records, for the engine's own tests and tools.
    builder::TImageBuilder& Builder() { return builder_; }
    drive::TSCSIDevice& Drive() { return drive_; }

private:
    void HandleMessage(const platform::TMessage& message);
    void JoinSmartReferences();

    builder::TImageBuilder builder_;
    drive::TSCSIDevice drive_;
    std::mutex engineLock_;
    std::unique_ptr<platform::TMessageTarget> messages_;
    std::string importError_;
    bool importUdfOff_ = false;
    std::thread smartRefThread_;
    std::atomic<bool> smartRefRunning_{false};
};

}  // namespace tessor::component
