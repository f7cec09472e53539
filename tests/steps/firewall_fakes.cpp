#include "firewall_fakes.h"

#include "firewall/firewall_objects.h"

#include <cwchar>
#include <type_traits>

namespace firewall_fakes {

FirewallWorld World;
int LiveObjects = 0;

namespace {

#define NOT_IMPLEMENTED(signature)                                                                           \
    HRESULT STDMETHODCALLTYPE signature override                                                             \
    {                                                                                                        \
        return E_NOTIMPL;                                                                                    \
    }

const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

// A BSTR handed in must be one: its length prefix matches its text.
std::wstring FromBstr(BSTR text)
{
    if (!text)
        return L"";
    if (SysStringLen(text) != wcslen(text))
        ++World.badStrings;
    return std::wstring(text, SysStringLen(text));
}

HRESULT ToBstr(const std::wstring& text, BSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = text.empty() ? nullptr : SysAllocString(text.c_str());
    return S_OK;
}

HRESULT ToBool(bool value, VARIANT_BOOL* out)
{
    *out = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

template <typename Interface>
class FakeUnknown : public Interface {
public:
    FakeUnknown() { ++LiveObjects; }
    virtual ~FakeUnknown() { --LiveObjects; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        bool dispatch = std::is_base_of<IDispatch, Interface>::value && iid == IID_IDispatch;
        if (iid == IID_IUnknown || dispatch || iid == __uuidof(Interface)) {
            *out = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

private:
    ULONG references_ = 1;
};

template <typename Interface>
class FakeObject : public FakeUnknown<Interface> {
public:
    NOT_IMPLEMENTED(GetTypeInfoCount(UINT*))
    NOT_IMPLEMENTED(GetTypeInfo(UINT, LCID, ITypeInfo**))
    NOT_IMPLEMENTED(GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*))
    NOT_IMPLEMENTED(Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*))
};

class FakeRule : public FakeObject<INetFwRule> {
public:
    explicit FakeRule(std::shared_ptr<RuleData> data) : data_(std::move(data)) {}
    const std::shared_ptr<RuleData>& data() const { return data_; }

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* out) override { return ToBstr(data_->name, out); }
    HRESULT STDMETHODCALLTYPE put_Name(BSTR v) override { return Set(data_->name, v); }
    HRESULT STDMETHODCALLTYPE get_ApplicationName(BSTR* out) override
    {
        return ToBstr(data_->application, out);
    }
    HRESULT STDMETHODCALLTYPE put_ApplicationName(BSTR v) override { return Set(data_->application, v); }
    HRESULT STDMETHODCALLTYPE get_Protocol(LONG* out) override { return *out = data_->protocol, S_OK; }
    HRESULT STDMETHODCALLTYPE put_Protocol(LONG v) override { return data_->protocol = v, S_OK; }
    HRESULT STDMETHODCALLTYPE get_LocalPorts(BSTR* out) override { return ToBstr(data_->localPorts, out); }
    HRESULT STDMETHODCALLTYPE put_LocalPorts(BSTR v) override { return Set(data_->localPorts, v); }
    HRESULT STDMETHODCALLTYPE get_RemotePorts(BSTR* out) override { return ToBstr(data_->remotePorts, out); }
    HRESULT STDMETHODCALLTYPE put_RemotePorts(BSTR v) override { return Set(data_->remotePorts, v); }
    HRESULT STDMETHODCALLTYPE get_Direction(NET_FW_RULE_DIRECTION* out) override
    {
        return *out = data_->direction, S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Direction(NET_FW_RULE_DIRECTION v) override
    {
        return data_->direction = v, S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* out) override { return ToBool(data_->enabled, out); }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL v) override { return data_->enabled = v != 0, S_OK; }
    HRESULT STDMETHODCALLTYPE get_Grouping(BSTR* out) override { return ToBstr(data_->grouping, out); }
    HRESULT STDMETHODCALLTYPE put_Grouping(BSTR v) override { return Set(data_->grouping, v); }
    HRESULT STDMETHODCALLTYPE get_Profiles(LONG* out) override { return *out = data_->profiles, S_OK; }
    HRESULT STDMETHODCALLTYPE put_Profiles(LONG v) override { return data_->profiles = v, S_OK; }
    HRESULT STDMETHODCALLTYPE get_EdgeTraversal(VARIANT_BOOL* out) override
    {
        return ToBool(data_->edgeTraversal, out);
    }
    HRESULT STDMETHODCALLTYPE put_EdgeTraversal(VARIANT_BOOL v) override
    {
        return data_->edgeTraversal = v != 0, S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Action(NET_FW_ACTION* out) override { return *out = data_->action, S_OK; }
    HRESULT STDMETHODCALLTYPE put_Action(NET_FW_ACTION v) override { return data_->action = v, S_OK; }
    NOT_IMPLEMENTED(get_Description(BSTR*))
    NOT_IMPLEMENTED(put_Description(BSTR))
    NOT_IMPLEMENTED(get_ServiceName(BSTR*))
    NOT_IMPLEMENTED(put_ServiceName(BSTR))
    NOT_IMPLEMENTED(get_LocalAddresses(BSTR*))
    NOT_IMPLEMENTED(put_LocalAddresses(BSTR))
    NOT_IMPLEMENTED(get_RemoteAddresses(BSTR*))
    NOT_IMPLEMENTED(put_RemoteAddresses(BSTR))
    NOT_IMPLEMENTED(get_IcmpTypesAndCodes(BSTR*))
    NOT_IMPLEMENTED(put_IcmpTypesAndCodes(BSTR))
    NOT_IMPLEMENTED(get_Interfaces(VARIANT*))
    NOT_IMPLEMENTED(put_Interfaces(VARIANT))
    NOT_IMPLEMENTED(get_InterfaceTypes(BSTR*))
    NOT_IMPLEMENTED(put_InterfaceTypes(BSTR))

private:
    static HRESULT Set(std::wstring& field, BSTR value) { return field = FromBstr(value), S_OK; }
    std::shared_ptr<RuleData> data_;
};

class FakeRuleEnum : public FakeUnknown<IEnumVARIANT> {
public:
    explicit FakeRuleEnum(std::vector<std::shared_ptr<RuleData>> rules) : rules_(std::move(rules)) {}
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override
    {
        ULONG done = 0;
        while (done < count && next_ < rules_.size()) {
            VariantInit(&items[done]);
            items[done].vt = VT_DISPATCH;
            items[done].pdispVal = new FakeRule(rules_[next_++]);
            ++done;
        }
        if (fetched)
            *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }
    NOT_IMPLEMENTED(Skip(ULONG))
    NOT_IMPLEMENTED(Reset())
    NOT_IMPLEMENTED(Clone(IEnumVARIANT**))

private:
    std::vector<std::shared_ptr<RuleData>> rules_;
    size_t next_ = 0;
};

class FakeRules : public FakeObject<INetFwRules> {
public:
    explicit FakeRules(bool elevated) : elevated_(elevated) {}
    HRESULT STDMETHODCALLTYPE get_Count(LONG* out) override
    {
        return *out = static_cast<LONG>(World.rules.size()), S_OK;
    }
    HRESULT STDMETHODCALLTYPE Add(INetFwRule* rule) override
    {
        if (!elevated_)
            return ++World.deniedChanges, E_ACCESSDENIED;
        auto* fake = static_cast<FakeRule*>(rule);
        if (fake->data()->name.empty())
            return E_INVALIDARG;
        World.rules.push_back(std::make_shared<RuleData>(*fake->data()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Remove(BSTR name) override
    {
        if (!elevated_)
            return ++World.deniedChanges, E_ACCESSDENIED;
        std::wstring wanted = FromBstr(name);
        for (auto rule = World.rules.begin(); rule != World.rules.end(); ++rule) {
            if (_wcsicmp((*rule)->name.c_str(), wanted.c_str()) == 0) {
                World.rules.erase(rule);
                break;
            }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Item(BSTR name, INetFwRule** out) override
    {
        std::wstring wanted = FromBstr(name);
        *out = nullptr;
        for (const auto& rule : World.rules) {
            if (_wcsicmp(rule->name.c_str(), wanted.c_str()) == 0) {
                *out = new FakeRule(rule);
                return S_OK;
            }
        }
        return kNotFound;
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** out) override
    {
        *out = new FakeRuleEnum(World.rules);
        return S_OK;
    }

private:
    bool elevated_;
};

bool InGroup(const RuleData& rule, LONG profiles, const std::wstring& group)
{
    return _wcsicmp(rule.grouping.c_str(), group.c_str()) == 0 && (rule.profiles & profiles);
}

class FakePolicy2 : public FakeObject<INetFwPolicy2> {
public:
    explicit FakePolicy2(bool elevated) : elevated_(elevated) {}
    HRESULT STDMETHODCALLTYPE get_CurrentProfileTypes(LONG* out) override
    {
        return *out = World.profileTypes, S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_FirewallEnabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL* out) override
    {
        return ToBool(World.firewallEnabled, out);
    }
    HRESULT STDMETHODCALLTYPE get_BlockAllInboundTraffic(NET_FW_PROFILE_TYPE2, VARIANT_BOOL* out) override
    {
        return ToBool(World.blockAllInbound, out);
    }
    HRESULT STDMETHODCALLTYPE put_BlockAllInboundTraffic(NET_FW_PROFILE_TYPE2, VARIANT_BOOL block) override
    {
        if (!elevated_)
            return ++World.deniedChanges, E_ACCESSDENIED;
        World.blockAllInbound = block != 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Rules(INetFwRules** out) override
    {
        *out = new FakeRules(elevated_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnableRuleGroup(LONG profiles, BSTR group, VARIANT_BOOL enable) override
    {
        if (!elevated_)
            return ++World.deniedChanges, E_ACCESSDENIED;
        std::wstring name = FromBstr(group);
        for (const auto& rule : World.rules) {
            if (InGroup(*rule, profiles, name))
                rule->enabled = enable != 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsRuleGroupEnabled(LONG profiles, BSTR group, VARIANT_BOOL* out) override
    {
        std::wstring name = FromBstr(group);
        bool found = false;
        bool enabled = true;
        for (const auto& rule : World.rules) {
            if (InGroup(*rule, profiles, name)) {
                found = true;
                enabled = enabled && rule->enabled;
            }
        }
        *out = VARIANT_FALSE;
        if (!found)
            return S_FALSE;
        return ToBool(enabled, out);
    }
    NOT_IMPLEMENTED(put_FirewallEnabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL))
    NOT_IMPLEMENTED(get_ExcludedInterfaces(NET_FW_PROFILE_TYPE2, VARIANT*))
    NOT_IMPLEMENTED(put_ExcludedInterfaces(NET_FW_PROFILE_TYPE2, VARIANT))
    NOT_IMPLEMENTED(get_NotificationsDisabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_NotificationsDisabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL))
    NOT_IMPLEMENTED(get_UnicastResponsesToMulticastBroadcastDisabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_UnicastResponsesToMulticastBroadcastDisabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL))
    NOT_IMPLEMENTED(get_ServiceRestriction(INetFwServiceRestriction**))
    NOT_IMPLEMENTED(RestoreLocalFirewallDefaults())
    NOT_IMPLEMENTED(get_DefaultInboundAction(NET_FW_PROFILE_TYPE2, NET_FW_ACTION*))
    NOT_IMPLEMENTED(put_DefaultInboundAction(NET_FW_PROFILE_TYPE2, NET_FW_ACTION))
    NOT_IMPLEMENTED(get_DefaultOutboundAction(NET_FW_PROFILE_TYPE2, NET_FW_ACTION*))
    NOT_IMPLEMENTED(put_DefaultOutboundAction(NET_FW_PROFILE_TYPE2, NET_FW_ACTION))
    NOT_IMPLEMENTED(get_IsRuleGroupCurrentlyEnabled(BSTR, VARIANT_BOOL*))
    NOT_IMPLEMENTED(get_LocalPolicyModifyState(NET_FW_MODIFY_STATE*))

private:
    bool elevated_;
};

class FakeApplication : public FakeObject<INetFwAuthorizedApplication> {
public:
    explicit FakeApplication(std::shared_ptr<AppData> data) : data_(std::move(data)) {}
    const std::shared_ptr<AppData>& data() const { return data_; }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* out) override { return ToBstr(data_->name, out); }
    HRESULT STDMETHODCALLTYPE put_Name(BSTR v) override
    {
        return Write([&] { data_->name = FromBstr(v); });
    }
    HRESULT STDMETHODCALLTYPE get_ProcessImageFileName(BSTR* out) override
    {
        return ToBstr(data_->path, out);
    }
    HRESULT STDMETHODCALLTYPE put_ProcessImageFileName(BSTR v) override
    {
        return Write([&] { data_->path = FromBstr(v); });
    }
    HRESULT STDMETHODCALLTYPE get_Scope(NET_FW_SCOPE* out) override { return *out = data_->scope, S_OK; }
    HRESULT STDMETHODCALLTYPE put_Scope(NET_FW_SCOPE v) override
    {
        return Write([&] { data_->scope = v; });
    }
    HRESULT STDMETHODCALLTYPE get_RemoteAddresses(BSTR* out) override
    {
        return ToBstr(data_->remoteAddresses, out);
    }
    HRESULT STDMETHODCALLTYPE put_RemoteAddresses(BSTR v) override
    {
        return Write([&] { data_->remoteAddresses = FromBstr(v); });
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* out) override { return ToBool(data_->enabled, out); }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL v) override
    {
        return Write([&] { data_->enabled = v; });
    }
    NOT_IMPLEMENTED(get_IpVersion(NET_FW_IP_VERSION*))
    NOT_IMPLEMENTED(put_IpVersion(NET_FW_IP_VERSION))

private:
    template <typename Change>
    HRESULT Write(Change change)
    {
        change();
        ++World.legacyWrites;
        return S_OK;
    }
    std::shared_ptr<AppData> data_;
};

class FakeApplications : public FakeObject<INetFwAuthorizedApplications> {
public:
    HRESULT STDMETHODCALLTYPE get_Count(LONG* out) override
    {
        return *out = static_cast<LONG>(World.applications.size()), S_OK;
    }
    HRESULT STDMETHODCALLTYPE Add(INetFwAuthorizedApplication* application) override
    {
        World.applications.push_back(static_cast<FakeApplication*>(application)->data());
        ++World.legacyWrites;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Item(BSTR path, INetFwAuthorizedApplication** out) override
    {
        std::wstring wanted = FromBstr(path);
        *out = nullptr;
        for (const auto& application : World.applications) {
            if (_wcsicmp(application->path.c_str(), wanted.c_str()) == 0) {
                *out = new FakeApplication(application);
                return S_OK;
            }
        }
        return kNotFound;
    }
    NOT_IMPLEMENTED(Remove(BSTR))
    NOT_IMPLEMENTED(get__NewEnum(IUnknown**))
};

class FakeProfile : public FakeObject<INetFwProfile> {
public:
    HRESULT STDMETHODCALLTYPE get_FirewallEnabled(VARIANT_BOOL* out) override
    {
        return ToBool(World.legacyEnabled, out);
    }
    HRESULT STDMETHODCALLTYPE get_AuthorizedApplications(INetFwAuthorizedApplications** out) override
    {
        *out = new FakeApplications();
        return S_OK;
    }
    NOT_IMPLEMENTED(get_Type(NET_FW_PROFILE_TYPE*))
    NOT_IMPLEMENTED(put_FirewallEnabled(VARIANT_BOOL))
    NOT_IMPLEMENTED(get_ExceptionsNotAllowed(VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_ExceptionsNotAllowed(VARIANT_BOOL))
    NOT_IMPLEMENTED(get_NotificationsDisabled(VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_NotificationsDisabled(VARIANT_BOOL))
    NOT_IMPLEMENTED(get_UnicastResponsesToMulticastBroadcastDisabled(VARIANT_BOOL*))
    NOT_IMPLEMENTED(put_UnicastResponsesToMulticastBroadcastDisabled(VARIANT_BOOL))
    NOT_IMPLEMENTED(get_RemoteAdminSettings(INetFwRemoteAdminSettings**))
    NOT_IMPLEMENTED(get_IcmpSettings(INetFwIcmpSettings**))
    NOT_IMPLEMENTED(get_GloballyOpenPorts(INetFwOpenPorts**))
    NOT_IMPLEMENTED(get_Services(INetFwServices**))
};

class FakeLegacyPolicy : public FakeObject<INetFwPolicy> {
public:
    HRESULT STDMETHODCALLTYPE get_CurrentProfile(INetFwProfile** out) override
    {
        *out = new FakeProfile();
        return S_OK;
    }
    NOT_IMPLEMENTED(GetProfileByType(NET_FW_PROFILE_TYPE, INetFwProfile**))
};

class FakeManager : public FakeObject<INetFwMgr> {
public:
    HRESULT STDMETHODCALLTYPE get_LocalPolicy(INetFwPolicy** out) override
    {
        *out = new FakeLegacyPolicy();
        return S_OK;
    }
    NOT_IMPLEMENTED(get_CurrentProfileType(NET_FW_PROFILE_TYPE*))
    NOT_IMPLEMENTED(RestoreDefaults())
    NOT_IMPLEMENTED(IsPortAllowed(BSTR, NET_FW_IP_VERSION, LONG, BSTR, NET_FW_IP_PROTOCOL, VARIANT*,
                                  VARIANT*))
    NOT_IMPLEMENTED(IsIcmpTypeAllowed(NET_FW_IP_VERSION, BSTR, BYTE, VARIANT*, VARIANT*))
};

HRESULT CreatePolicy(INetFwPolicy2** out)
{
    *out = nullptr;
    if (!World.policyAvailable)
        return REGDB_E_CLASSNOTREG;
    *out = new FakePolicy2(false);
    return S_OK;
}

HRESULT CreateElevatedPolicy(HWND, INetFwPolicy2** out)
{
    *out = nullptr;
    ++World.elevations;
    if (!World.elevationGranted)
        return HRESULT_FROM_WIN32(ERROR_CANCELLED);
    *out = new FakePolicy2(true);
    return S_OK;
}

HRESULT CreateRule(INetFwRule** out)
{
    *out = new FakeRule(std::make_shared<RuleData>());
    return S_OK;
}

HRESULT CreateManager(INetFwMgr** out)
{
    *out = new FakeManager();
    return S_OK;
}

HRESULT CreateApplication(INetFwAuthorizedApplication** out)
{
    *out = new FakeApplication(std::make_shared<AppData>());
    return S_OK;
}

} // namespace

FakeFirewall::FakeFirewall()
{
    World = FirewallWorld();
    FirewallObjects = {CreatePolicy, CreateElevatedPolicy, CreateRule, CreateManager, CreateApplication};
}

FakeFirewall::~FakeFirewall()
{
    FirewallObjects = PlatformFirewallObjects;
}

} // namespace firewall_fakes
