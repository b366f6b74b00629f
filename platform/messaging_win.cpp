// Messaging objects over the folder stores.
#include "platform/messaging_win.h"

#include <mapicode.h>
#include <mapitags.h>
#include <mapiguid.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/mailstore.h"

namespace {

#define PV_NO_SUPPORT { return MAPI_E_NO_SUPPORT; }

// Reference counting for one interface; objects start with one reference.
template <class Interface>
class Counted : public Interface {
public:
    virtual ~Counted() = default;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = this;
            this->AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(InterlockedIncrement(&references_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return ULONG(left);
    }

private:
    LONG references_ = 1;
};

// Every method of each interface, unsupported; the objects below answer the
// ones sending needs.
class PropStubs : public Counted<IMAPIProp> {
public:
    MAPI_IMAPIPROP_METHODS(PV_NO_SUPPORT)
};
class TableStubs : public Counted<IMAPITable> {
public:
    MAPI_IMAPITABLE_METHODS(PV_NO_SUPPORT)
};
class SessionStubs : public Counted<IMAPISession> {
public:
    MAPI_IMAPISESSION_METHODS(PV_NO_SUPPORT)
};
class StoreStubs : public Counted<IMsgStore> {
public:
    MAPI_IMAPIPROP_METHODS(PV_NO_SUPPORT)
    MAPI_IMSGSTORE_METHODS(PV_NO_SUPPORT)
};
class FolderStubs : public Counted<IMAPIFolder> {
public:
    MAPI_IMAPIPROP_METHODS(PV_NO_SUPPORT)
    MAPI_IMAPICONTAINER_METHODS(PV_NO_SUPPORT)
    MAPI_IMAPIFOLDER_METHODS(PV_NO_SUPPORT)
};
class MessageStubs : public Counted<IMessage> {
public:
    MAPI_IMAPIPROP_METHODS(PV_NO_SUPPORT)
    MAPI_IMESSAGE_METHODS(PV_NO_SUPPORT)
};
class AttachStubs : public Counted<IAttach> {
public:
    MAPI_IMAPIPROP_METHODS(PV_NO_SUPPORT)
};

using Bytes = std::vector<uint8_t>;
using SharedBytes = std::shared_ptr<Bytes>;

// A property value as kept by an object.
struct Value {
    ULONG tag = 0;
    LONG number = 0;
    std::wstring text;
    Bytes bytes;
};

// Property values of one object, by tag.
class PropertyBag {
public:
    HRESULT Set(ULONG count, const SPropValue* values) {
        if (count && !values) return MAPI_E_INVALID_PARAMETER;
        for (ULONG i = 0; i < count; ++i) {
            Value v;
            v.tag = values[i].ulPropTag;
            switch (PROP_TYPE(v.tag)) {
            case PT_LONG:
                v.number = values[i].Value.l;
                break;
            case PT_UNICODE:
                if (!values[i].Value.lpszW) return MAPI_E_INVALID_PARAMETER;
                v.text = values[i].Value.lpszW;
                break;
            case PT_BINARY:
                if (values[i].Value.bin.cb && !values[i].Value.bin.lpb) return MAPI_E_INVALID_PARAMETER;
                v.bytes.assign(values[i].Value.bin.lpb, values[i].Value.bin.lpb + values[i].Value.bin.cb);
                break;
            default:
                return MAPI_E_BAD_VALUE;
            }
            values_[v.tag] = v;
        }
        return S_OK;
    }
    const Value* Find(ULONG tag) const {
        auto it = values_.find(tag);
        return it == values_.end() ? nullptr : &it->second;
    }
    std::wstring Text(ULONG tag) const {
        const Value* v = Find(tag);
        return v ? v->text : std::wstring();
    }

private:
    std::map<ULONG, Value> values_;
};

// One block holding `count` values and everything they point to, freed by
// one MessagingFreeBuffer.
SPropValue* AllocateValues(const std::vector<Value>& values) {
    size_t size = sizeof(SPropValue) * (values.empty() ? 1 : values.size());
    for (const Value& v : values) size += (v.text.size() + 1) * sizeof(wchar_t) + v.bytes.size() + 8;
    auto* block = static_cast<uint8_t*>(std::calloc(1, size));
    if (!block) return nullptr;
    auto* props = reinterpret_cast<SPropValue*>(block);
    uint8_t* extra = block + sizeof(SPropValue) * (values.empty() ? 1 : values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        const Value& v = values[i];
        props[i].ulPropTag = v.tag;
        switch (PROP_TYPE(v.tag)) {
        case PT_LONG:
            props[i].Value.l = v.number;
            break;
        case PT_UNICODE:
            props[i].Value.lpszW = reinterpret_cast<wchar_t*>(extra);
            std::memcpy(extra, v.text.c_str(), (v.text.size() + 1) * sizeof(wchar_t));
            extra += (v.text.size() + 1) * sizeof(wchar_t);
            break;
        case PT_BINARY:
            props[i].Value.bin.cb = ULONG(v.bytes.size());
            props[i].Value.bin.lpb = extra;
            if (!v.bytes.empty()) std::memcpy(extra, v.bytes.data(), v.bytes.size());
            extra += v.bytes.size();
            break;
        default:
            props[i].Value.err = MAPI_E_NOT_FOUND;
            break;
        }
        extra += (8 - reinterpret_cast<uintptr_t>(extra) % 8) % 8;
    }
    return props;
}

// The drafts folder's entry identifier: the store's 16 bytes and "DRFT".
Bytes DraftsEntryId(const MailStoreInfo& store) {
    Bytes id = store.entryId;
    id.insert(id.end(), {'D', 'R', 'F', 'T'});
    return id;
}

// The properties of a store that its table row and GetProps answer.
std::vector<Value> StoreValues(const MailStoreInfo& store, const SPropTagArray* tags) {
    std::vector<Value> values;
    for (ULONG i = 0; tags && i < tags->cValues; ++i) {
        Value v;
        v.tag = tags->aulPropTag[i];
        switch (v.tag) {
        case kPropDraftsEntryId:
            v.bytes = DraftsEntryId(store);
            break;
        case PR_ENTRYID:
            v.bytes = store.entryId;
            break;
        case PR_DISPLAY_NAME_W:
            v.text = store.name;
            break;
        default:
            v.tag = PROP_TAG(PT_ERROR, PROP_ID(v.tag));
            break;
        }
        values.push_back(v);
    }
    return values;
}

// A stream written into a shared buffer: what was written is there at once,
// whether or not the stream is committed.
class BufferStream : public Counted<IStream> {
public:
    explicit BufferStream(SharedBytes target) : target_(std::move(target)) {}
    STDMETHODIMP Read(void* out, ULONG count, ULONG* read) override {
        const size_t n = position_ < target_->size() ? std::min<size_t>(count, target_->size() - position_) : 0;
        if (n) std::memcpy(out, target_->data() + position_, n);
        position_ += n;
        if (read) *read = ULONG(n);
        return S_OK;
    }
    STDMETHODIMP Write(const void* data, ULONG count, ULONG* written) override {
        if (count && !data) return STG_E_INVALIDPOINTER;
        if (position_ + count > target_->size()) target_->resize(position_ + count);
        if (count) std::memcpy(target_->data() + position_, data, count);
        position_ += count;
        if (written) *written = count;
        return S_OK;
    }
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* now) override {
        int64_t base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? int64_t(position_) : int64_t(target_->size());
        const int64_t to = base + move.QuadPart;
        if (to < 0) return STG_E_INVALIDFUNCTION;
        position_ = size_t(to);
        if (now) now->QuadPart = position_;
        return S_OK;
    }
    STDMETHODIMP SetSize(ULARGE_INTEGER size) override {
        if (size.QuadPart > (1ull << 31)) return STG_E_MEDIUMFULL;
        target_->resize(size_t(size.QuadPart));
        return S_OK;
    }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP Stat(STATSTG* stat, DWORD) override {
        if (!stat) return STG_E_INVALIDPOINTER;
        std::memset(stat, 0, sizeof *stat);
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = target_->size();
        return S_OK;
    }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

private:
    SharedBytes target_;
    size_t position_ = 0;
};

// SetProps of a message or an attachment: into its property bag.
HRESULT SetBagProps(PropertyBag& bag, ULONG count, LPSPropValue values, LPSPropProblemArray* problems) {
    if (problems) *problems = nullptr;
    return bag.Set(count, values);
}

// OpenProperty of a message's body or an attachment's data: the one stream
// property `wanted`, opened for writing anew into `data`.
HRESULT OpenWriteStream(ULONG tag, ULONG flags, ULONG wanted, const SharedBytes& data, LPUNKNOWN* out) {
    if (!out) return MAPI_E_INVALID_PARAMETER;
    if (tag != wanted || !(flags & MAPI_MODIFY)) return MAPI_E_NO_SUPPORT;
    data->clear();
    *out = new BufferStream(data);
    return S_OK;
}

// What a saved attachment hands its message.
struct AttachmentRecord {
    std::wstring fileName;
    SharedBytes data;
};

class Attachment : public AttachStubs {
public:
    explicit Attachment(std::shared_ptr<std::vector<AttachmentRecord>> list) : list_(std::move(list)) {}
    STDMETHODIMP SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override {
        return SetBagProps(props_, count, values, problems);
    }
    STDMETHODIMP OpenProperty(ULONG tag, LPCIID, ULONG, ULONG flags, LPUNKNOWN* out) override {
        return OpenWriteStream(tag, flags, PR_ATTACH_DATA_BIN, data_, out);
    }
    STDMETHODIMP SaveChanges(ULONG) override {
        if (!saved_) list_->push_back({props_.Text(PR_ATTACH_FILENAME_W), data_});
        saved_ = true;
        return S_OK;
    }

private:
    std::shared_ptr<std::vector<AttachmentRecord>> list_;
    PropertyBag props_;
    SharedBytes data_ = std::make_shared<Bytes>();
    bool saved_ = false;
};

class Message : public MessageStubs {
public:
    explicit Message(const MailStoreInfo& store) : store_(store) {}
    STDMETHODIMP SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override {
        return SetBagProps(props_, count, values, problems);
    }
    STDMETHODIMP OpenProperty(ULONG tag, LPCIID, ULONG, ULONG flags, LPUNKNOWN* out) override {
        return OpenWriteStream(tag, flags, PR_BODY_W, body_, out);
    }
    STDMETHODIMP SaveChanges(ULONG) override { return S_OK; }
    STDMETHODIMP CreateAttach(LPCIID, ULONG, ULONG* number, LPATTACH* out) override {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        if (number) *number = attachmentsMade_;
        ++attachmentsMade_;
        *out = new Attachment(attachments_);
        return S_OK;
    }
    STDMETHODIMP ModifyRecipients(ULONG flags, LPADRLIST list) override {
        if (flags != MODRECIP_ADD || !list) return MAPI_E_NO_SUPPORT;
        for (ULONG i = 0; i < list->cEntries; ++i) {
            PropertyBag entry;
            const HRESULT hr = entry.Set(list->aEntries[i].cValues, list->aEntries[i].rgPropVals);
            if (FAILED(hr)) return hr;
            const Value* type = entry.Find(PR_RECIPIENT_TYPE);
            const std::wstring address = entry.Text(PR_EMAIL_ADDRESS_W);
            if (!type || entry.Text(PR_ADDRTYPE_W) != L"SMTP") return MAPI_E_INVALID_PARAMETER;
            recipients_.push_back({type->number, address});
        }
        return S_OK;
    }
    STDMETHODIMP SubmitMessage(ULONG) override {
        if (submitted_) return MAPI_E_NO_SUPPORT;
        MailMessageData data;
        data.from = store_.sender;
        for (const auto& [type, address] : recipients_)
            (type == MAPI_TO ? data.to : type == MAPI_CC ? data.cc : data.bcc).push_back(address);
        data.subject = props_.Text(PR_SUBJECT_W);
        // The body stream holds UTF-16 text; a terminating zero is not text.
        std::u16string body;
        for (size_t i = 0; i + 1 < body_->size(); i += 2) body.push_back(char16_t((*body_)[i] | (*body_)[i + 1] << 8));
        while (!body.empty() && body.back() == 0) body.pop_back();
        data.body.assign(body.begin(), body.end());
        for (const AttachmentRecord& a : *attachments_) data.attachments.push_back({a.fileName, *a.data});
        if (MailStoreSubmit(store_, data, nullptr) != 0) return MAPI_E_DISK_ERROR;
        submitted_ = true;
        return S_OK;
    }

private:
    MailStoreInfo store_;
    PropertyBag props_;
    SharedBytes body_ = std::make_shared<Bytes>();
    std::shared_ptr<std::vector<AttachmentRecord>> attachments_ = std::make_shared<std::vector<AttachmentRecord>>();
    std::vector<std::pair<LONG, std::wstring>> recipients_;
    ULONG attachmentsMade_ = 0;
    bool submitted_ = false;
};

class Folder : public FolderStubs {
public:
    explicit Folder(const MailStoreInfo& store) : store_(store) {}
    STDMETHODIMP CreateMessage(LPCIID, ULONG, LPMESSAGE* out) override {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        *out = new Message(store_);
        return S_OK;
    }

private:
    MailStoreInfo store_;
};

class Store : public StoreStubs {
public:
    explicit Store(const MailStoreInfo& store) : store_(store) {}
    STDMETHODIMP GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override {
        if (!tags || !count || !values) return MAPI_E_INVALID_PARAMETER;
        const std::vector<Value> found = StoreValues(store_, tags);
        *values = AllocateValues(found);
        if (!*values) return MAPI_E_NOT_ENOUGH_MEMORY;
        *count = ULONG(found.size());
        for (const Value& v : found)
            if (PROP_TYPE(v.tag) == PT_ERROR) return MAPI_W_ERRORS_RETURNED;
        return S_OK;
    }
    STDMETHODIMP OpenEntry(ULONG size, LPENTRYID id, LPCIID, ULONG, ULONG* type, LPUNKNOWN* out) override {
        if (!out || (size && !id)) return MAPI_E_INVALID_PARAMETER;
        const Bytes wanted(reinterpret_cast<const uint8_t*>(id), reinterpret_cast<const uint8_t*>(id) + size);
        if (wanted != DraftsEntryId(store_)) return MAPI_E_NOT_FOUND;
        if (type) *type = MAPI_FOLDER;
        *out = static_cast<IMAPIFolder*>(new Folder(store_));
        return S_OK;
    }

private:
    MailStoreInfo store_;
};

class StoresTable : public TableStubs {
public:
    explicit StoresTable(std::vector<MailStoreInfo> stores) : stores_(std::move(stores)) {}
    STDMETHODIMP SetColumns(LPSPropTagArray tags, ULONG) override {
        if (!tags) return MAPI_E_INVALID_PARAMETER;
        columns_.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
        return S_OK;
    }
    STDMETHODIMP QueryRows(LONG count, ULONG, LPSRowSet* rows) override {
        if (!rows || count < 0) return MAPI_E_INVALID_PARAMETER;
        const size_t n = std::min<size_t>(size_t(count), stores_.size() - next_);
        auto* set = static_cast<SRowSet*>(std::calloc(1, CbNewSRowSet(n ? n : 1)));
        if (!set) return MAPI_E_NOT_ENOUGH_MEMORY;
        std::vector<uint8_t> tagBlock(offsetof(SPropTagArray, aulPropTag) + sizeof(ULONG) * (columns_.size() + 1));
        auto* tags = reinterpret_cast<SPropTagArray*>(tagBlock.data());
        tags->cValues = ULONG(columns_.size());
        for (size_t i = 0; i < columns_.size(); ++i) tags->aulPropTag[i] = columns_[i];
        for (size_t i = 0; i < n; ++i) {
            const std::vector<Value> values = StoreValues(stores_[next_ + i], tags);
            set->aRow[i].lpProps = AllocateValues(values);
            if (!set->aRow[i].lpProps) {
                set->cRows = ULONG(i);
                MessagingFreeRows(set);
                return MAPI_E_NOT_ENOUGH_MEMORY;
            }
            set->aRow[i].cValues = ULONG(values.size());
        }
        set->cRows = ULONG(n);
        next_ += n;
        *rows = set;
        return S_OK;
    }

private:
    std::vector<MailStoreInfo> stores_;
    std::vector<ULONG> columns_{PR_ENTRYID, PR_DISPLAY_NAME_W};
    size_t next_ = 0;
};

class Session : public SessionStubs {
public:
    STDMETHODIMP GetMsgStoresTable(ULONG, LPMAPITABLE* out) override {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        if (loggedOff_) return MAPI_E_END_OF_SESSION;
        *out = new StoresTable(MailStoreList());
        return S_OK;
    }
    STDMETHODIMP OpenMsgStore(ULONG_PTR, ULONG size, LPENTRYID id, LPCIID, ULONG, LPMDB* out) override {
        if (!out || (size && !id)) return MAPI_E_INVALID_PARAMETER;
        if (loggedOff_) return MAPI_E_END_OF_SESSION;
        MailStoreInfo store;
        if (!MailStoreFind(Bytes(reinterpret_cast<const uint8_t*>(id), reinterpret_cast<const uint8_t*>(id) + size), &store))
            return MAPI_E_NOT_FOUND;
        *out = new Store(store);
        return S_OK;
    }
    STDMETHODIMP Logoff(ULONG_PTR, ULONG, ULONG) override {
        loggedOff_ = true;
        return S_OK;
    }

private:
    bool loggedOff_ = false;
};

}  // namespace

HRESULT MessagingLogon(IMAPISession** session) {
    if (!session) return MAPI_E_INVALID_PARAMETER;
    *session = new Session;
    return S_OK;
}

void MessagingFreeBuffer(void* buffer) { std::free(buffer); }

void MessagingFreeRows(SRowSet* rows) {
    if (!rows) return;
    for (ULONG i = 0; i < rows->cRows; ++i) std::free(rows->aRow[i].lpProps);
    std::free(rows);
}
