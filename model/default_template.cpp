#include "model/default_template.h"

namespace korvo {

namespace {

// A letter of intent between two companies; XX and XXXX stand for names, dates, amounts
// and terms.
constexpr std::string_view kText =
    "意向书\r\n"
    "甲方：XXXX有限公司（以下简称甲方）\r\n"
    "乙方：XXXX有限公司（以下简称乙方）\r\n"
    "\r\n"
    "甲乙双方本着平等互利、诚实信用的原则，经友好协商，就XXXX项目的合作事宜达成如下意向：\r\n"
    "\r\n"
    "一、合作内容：甲方委托乙方承担XXXX的设计与实施，乙方按甲方的要求提供相关的技术服务。\r\n"
    "二、合作期限：自XXXX年XX月XX日起至XXXX年XX月XX日止，共XX个月。\r\n"
    "三、合作金额：项目总金额约为人民币XXXX元（大写：XXXX元整），以正式合同为准。\r\n"
    "四、付款方式：正式合同签订后XX日内，甲方支付总金额的XX%"
    "作为预付款；项目验收合格后XX日内付清余款。\r\n"
    "五、双方责任：甲方提供必要的资料和工作条件；乙方按期、按质完成工作，并对甲方的资料保密。\r\n"
    "六、本意向书仅为双方合作的初步意向，双方应于XX日内签订正式合同。\r\n"
    "七、本意向书一式两份，甲乙双方各执一份。\r\n"
    "\r\n"
    "甲方（盖章）：XXXX            乙方（盖章）：XXXX\r\n"
    "代表人：XX                    代表人：XX\r\n"
    "日期：XXXX年XX月XX日          日期：XXXX年XX月XX日\r\n";

}  // namespace

std::string_view DefaultTemplateText() {
    return kText;
}

}  // namespace korvo
